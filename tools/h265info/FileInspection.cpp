#include "FileInspection.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <sys/stat.h>
#include <unistd.h>

#include "Inspector.h"
#include "NalUnitReader.h"
#include "Progress.h"

namespace h265info {

namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

std::string Quoted(const std::string& path) {
    return "'" + path + "'";
}

} // namespace

bool InspectFile(const std::string& path, Report& report, std::ostream& out) {
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0)
        throw InputError("cannot open " + Quoted(path) + ": " + std::strerror(errno));
    struct stat status;
    if (::fstat(file.get(), &status) != 0)
        throw InputError("cannot examine " + Quoted(path) + ": " + std::strerror(errno));
    if (S_ISDIR(status.st_mode))
        throw InputError(Quoted(path) + " is a directory, not a file");
    const std::uint64_t total = S_ISREG(status.st_mode) ? static_cast<std::uint64_t>(status.st_size) : 0;

    NalUnitReader reader(file.get());
    NalUnitView unit;
    bool found;
    try {
        found = reader.Next(unit);
    } catch (const std::system_error& e) {
        throw InputError("cannot read " + Quoted(path) + ": " + e.code().message());
    }
    if (!found) {
        if (reader.BytesRead() == 0)
            throw InputError(Quoted(path) + " is empty");
        throw InputError("no start code (00 00 01) in the " + std::to_string(reader.BytesRead()) + " bytes of " +
                         Quoted(path) + ": not an H.265 Annex B byte stream");
    }

    Inspector inspector;
    Progress progress(total, path);
    report.Begin(path);
    bool clean = true;
    do {
        const UnitRecord record = inspector.Inspect(unit);
        report.Unit(record);
        if (!record.error.empty()) {
            clean = false;
            progress.Clear();
            out.flush();
            std::cerr << "h265info: " << record.error << '\n';
        }
        progress.Update(reader.BytesRead());
    } while (reader.Next(unit));
    progress.Clear();
    report.End(inspector.Finish(reader.BytesRead(), reader.LeadingBytes()));
    return clean;
}

} // namespace h265info
