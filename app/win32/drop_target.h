// The window's OLE drop target: every drop is taken as a copy, files come
// from the shell's file list (CF_HDROP), and a drop without files is
// reported with an empty list, so that the program can say so.
#pragma once

#include <ole2.h>

#include <functional>
#include <vector>

#include "text/text.h"

namespace kestrova::win32 {

class DropTarget final : public IDropTarget {
 public:
  // `dropped` gets the drop's screen position and its file paths in the
  // drop's order (none when it carries no file list).
  using Dropped = std::function<void(POINT where, std::vector<Text> paths)>;
  explicit DropTarget(Dropped dropped) : dropped_(std::move(dropped)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD keys, POINTL where, DWORD* effect) override;
  HRESULT STDMETHODCALLTYPE DragOver(DWORD keys, POINTL where, DWORD* effect) override;
  HRESULT STDMETHODCALLTYPE DragLeave() override;
  HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD keys, POINTL where, DWORD* effect) override;

 private:
  ~DropTarget() = default;

  Dropped dropped_;
  ULONG references_ = 1;
};

// The paths of the file list in `data`; none when it offers no file list.
std::vector<Text> dropped_paths(IDataObject* data);

}  // namespace kestrova::win32
