// Each file is read whole before anything of it is merged, in one merge of
// its own: a file refused at one line leaves the archive as it was, and the
// files before and after it still come in.
#include "cli/archive_import.h"

#include <cstdio>
#include <string>

#include "archive/import_file.h"
#include "cli/archive_commands.h"
#include "common/file_read.h"

namespace {

// 1 when the file was merged.
int import_one(Archive *archive, const std::string &path)
{
    std::string bytes, error;
    if (!read_file_capped(path, ANY_FILE_SIZE, &bytes, &error)) {
        std::fprintf(stderr, "nimbrel: cannot read %s: %s\n", path.c_str(), error.c_str());
        return 0;
    }
    ImportedFile file;
    long line = 0;
    if (!read_export_file(reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size(), &file,
                          &line, &error)) {
        std::fprintf(stderr, "%s:%ld: %s; nothing of it imported\n", path.c_str(), line,
                     error.c_str());
        return 0;
    }
    MergeCounts c;
    ArchiveError failure;
    if (!archive_merge(archive, file.records, 1, &c, &failure)) {
        std::fprintf(stderr, "nimbrel: %s: %s; nothing of it imported\n", path.c_str(),
                     failure.message.c_str());
        return 0;
    }
    std::printf("%s: %zu records read, %ld new, %ld already there, %ld kept out%s\n", path.c_str(),
                file.records.size(), c.added, c.already, c.conflicting,
                c.conflicting ? " (their times are archived with other readings)" : "");
    std::fflush(stdout);
    return 1;
}

int import_files(FrontEnd &f)
{
    if (f.options.files.empty()) {
        std::fputs("nimbrel: archive import needs at least one FILE\n", stderr);
        return 2;
    }
    Archive *archive = open_archive_or_say(f);
    if (!archive)
        return 1;
    int all = 1;
    for (const std::string &path : f.options.files)
        all &= import_one(archive, path);
    archive_close(archive);
    return all ? 0 : 1;
}

} // namespace

int command_archive(FrontEnd &f)
{
    if (f.options.archive_action == "info")
        return command_archive_info(f);
    return import_files(f);
}
