#include "app/win32/drop_target.h"

#include <shellapi.h>

#include "app/win32/text.h"

namespace kestrova::win32 {

namespace {

// A copy, never a move: the source keeps its files. Sources that offer no
// copy get nothing.
void take_as_copy(DWORD* effect) {
  *effect = (*effect & DROPEFFECT_COPY) != 0 ? DROPEFFECT_COPY : DROPEFFECT_NONE;
}

}  // namespace

std::vector<Text> dropped_paths(IDataObject* data) {
  FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM medium{};
  if (data == nullptr || FAILED(data->GetData(&format, &medium))) {
    return {};
  }
  std::vector<Text> paths;
  const auto drop = static_cast<HDROP>(GlobalLock(medium.hGlobal));
  if (drop != nullptr) {
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    paths.reserve(count);
    std::wstring path;
    for (UINT i = 0; i < count; ++i) {
      const UINT length = DragQueryFileW(drop, i, nullptr, 0);
      path.assign(length + 1, L'\0');
      DragQueryFileW(drop, i, path.data(), length + 1);
      paths.push_back(text_of(path.data(), length));
    }
    GlobalUnlock(medium.hGlobal);
  }
  ReleaseStgMedium(&medium);
  return paths;
}

HRESULT DropTarget::QueryInterface(REFIID id, void** object) {
  if (object == nullptr) {
    return E_POINTER;
  }
  if (IsEqualIID(id, IID_IUnknown) || IsEqualIID(id, IID_IDropTarget)) {
    *object = static_cast<IDropTarget*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG DropTarget::AddRef() { return ++references_; }

ULONG DropTarget::Release() {
  const ULONG left = --references_;
  if (left == 0) {
    delete this;
  }
  return left;
}

HRESULT DropTarget::DragEnter(IDataObject*, DWORD, POINTL, DWORD* effect) {
  // Everything is welcome, text too: a drop without files has its message.
  take_as_copy(effect);
  return S_OK;
}

HRESULT DropTarget::DragOver(DWORD, POINTL, DWORD* effect) {
  take_as_copy(effect);
  return S_OK;
}

HRESULT DropTarget::DragLeave() { return S_OK; }

HRESULT DropTarget::Drop(IDataObject* data, DWORD, POINTL where, DWORD* effect) {
  take_as_copy(effect);
  if (*effect != DROPEFFECT_NONE) {
    dropped_(POINT{where.x, where.y}, dropped_paths(data));
  }
  return S_OK;
}

}  // namespace kestrova::win32
