#include "app/qt/file_host.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

namespace kestrova {

QString to_qstring(TextView text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

Text to_text(const QString& text) {
  return {reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())};
}

namespace {

[[noreturn]] void fail(const char* verb, const QString& path, const QString& reason) {
  throw FileError(std::string("cannot ") + verb + " " + QDir::toNativeSeparators(path).toStdString() +
                  ": " + reason.toStdString());
}

}  // namespace

FileHost::FileHost(QString settings_folder) : folder_(std::move(settings_folder)) {}

QString FileHost::absolute(const Text& path) const {
  return QDir::cleanPath(QDir(folder_).absoluteFilePath(to_qstring(path)));
}

Text FileHost::resolve(const Text& path) const {
  return to_text(QDir::toNativeSeparators(absolute(path)));
}

bool FileHost::file_exists(const Text& path) const {
  return QFileInfo(absolute(path)).isFile();
}

bool FileHost::path_exists(const Text& path) const {
  const QFileInfo info(to_qstring(path));
  return info.isAbsolute() && info.exists();
}

std::vector<std::string> FileHost::read_lines(const Text& path) {
  const QString name = absolute(path);
  QFile file(name);
  if (!file.open(QIODevice::ReadOnly)) {
    fail("read", name, file.errorString());
  }
  const QByteArray content = file.readAll();
  if (file.error() != QFileDevice::NoError) {
    fail("read", name, file.errorString());
  }
  return split_lines(std::string_view(content.constData(), static_cast<std::size_t>(content.size())));
}

void FileHost::write_lines(const Text& path, const std::vector<std::string>& lines) {
  const QString name = absolute(path);
  // The new content goes to a temporary file beside the target and replaces
  // it by a rename only once it is complete, so a crash or a full disk leaves
  // the old file in place rather than a truncated one.
  QSaveFile file(name);
  if (!file.open(QIODevice::WriteOnly)) {
    fail("write", name, file.errorString());
  }
  const std::string content = join_lines(lines);
  if (file.write(content.data(), static_cast<qint64>(content.size())) != static_cast<qint64>(content.size())) {
    const QString reason = file.errorString();
    file.cancelWriting();
    fail("write", name, reason);
  }
  if (!file.commit()) {
    fail("write", name, file.errorString());
  }
}

Text FileHost::decode(std::string_view bytes) const {
  QStringDecoder decoder(QStringDecoder::System, QStringDecoder::Flag::Stateless);
  return to_text(decoder(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size()))));
}

std::string FileHost::encode(TextView text) const {
  QStringEncoder encoder(QStringEncoder::System, QStringEncoder::Flag::Stateless);
  const QByteArray bytes = encoder(to_qstring(text));
  return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

}  // namespace kestrova
