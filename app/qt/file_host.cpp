#include "app/qt/file_host.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>
#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

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

namespace {

// A file descriptor closed once; close() reports what the destructor ignores.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
  }
  int get() const { return fd_; }
  bool close() { return ::close(std::exchange(fd_, -1)) == 0; }

 private:
  int fd_;
};

// Creates a new file beside `target` that no one else has, with the
// permissions the umask gives a new file.
std::pair<std::string, int> create_temporary(const std::string& target) {
  for (unsigned attempt = 0;; ++attempt) {
    std::string name = target + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST || attempt == 100) {
      return {std::move(name), fd};
    }
  }
}

}  // namespace

void FileHost::write_lines(const Text& path, const std::vector<std::string>& lines) {
  QString name = absolute(path);
  // A settings file that is a link to one kept elsewhere stays a link.
  const QFileInfo info(name);
  if (info.isSymLink() && info.exists()) {
    name = info.canonicalFilePath();
  }
  const std::string target = QFile::encodeName(name).toStdString();
  const std::string content = join_lines(lines);
  const auto fail_errno = [&name](int error) { fail("write", name, QString::fromLocal8Bit(std::strerror(error))); };
  // The new content goes to a temporary file beside the target, unbuffered so
  // that a full disk fails the write itself, and is on disk before one rename
  // replaces the old file: a crash or a full disk at any step leaves the old
  // file whole and no temporary file behind.
  auto [temporary, fd] = create_temporary(target);
  if (fd < 0) {
    fail_errno(errno);
  }
  Descriptor file(fd);
  bool replaced = false;
  struct Cleanup {
    const std::string& path;
    const bool& keep;
    ~Cleanup() {
      if (!keep) {
        ::unlink(path.c_str());
      }
    }
  } cleanup{temporary, replaced};
  // Whoever could read or write the old file can the new one.
  struct stat old {};
  if (::stat(target.c_str(), &old) == 0 && ::fchmod(file.get(), old.st_mode & 07777) != 0) {
    fail_errno(errno);
  }
  std::size_t done = 0;
  while (done < content.size()) {
    const ssize_t written = ::write(file.get(), content.data() + done, content.size() - done);
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written <= 0) {
      fail_errno(written < 0 ? errno : ENOSPC);
    }
    done += static_cast<std::size_t>(written);
  }
  if (::fsync(file.get()) != 0 || !file.close()) {
    fail_errno(errno);
  }
  if (::rename(temporary.c_str(), target.c_str()) != 0) {
    fail_errno(errno);
  }
  replaced = true;
  // The rename itself reaches the disk with the folder; should that fail, the
  // file is already replaced and whole, so there is nothing to report.
  const std::string folder = QFile::encodeName(QFileInfo(name).absolutePath()).toStdString();
  const Descriptor directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (directory.get() >= 0) {
    ::fsync(directory.get());
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
