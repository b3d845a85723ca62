#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <new>

#include "common/out_file.h"
#include "common/output.h"
#include "error_of.h"

// A fresh, empty folder for one test.
static std::string fresh_folder(const std::string& name) {
    std::string folder = testing::TempDir() + "quorin_out_file_" + name;
    std::string command = "rm -rf '" + folder + "' && mkdir -p '" + folder + "'";
    if (std::system(command.c_str()) != 0) ADD_FAILURE() << "cannot make " << folder;
    return folder;
}

static std::vector<std::string> entries(const std::string& folder) {
    std::vector<std::string> names;
    DIR* d = opendir(folder.c_str());
    if (!d) return names;
    while (dirent* e = readdir(d))
        if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
    closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

static std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

static void spit(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

// Until it is finished, the name does not exist and a temporary next to it
// holds what was written; afterwards the name holds all of it, alone.
TEST(OutFile, NewNameAppearsOnlyWhenComplete) {
    std::string folder = fresh_folder("new");
    std::string name = folder + "/table.txt";
    out_file out = open_output(name);
    write_line(out.f, "first");
    std::fflush(out.f);
    std::vector<std::string> mid = entries(folder);
    ASSERT_EQ(mid.size(), 1u);
    EXPECT_EQ(mid[0].rfind(".table.txt.", 0), 0u) << mid[0];
    EXPECT_EQ(slurp(folder + "/" + mid[0]), "first\n");
    write_line(out.f, "second");
    finish_output(out);
    EXPECT_EQ(entries(folder), std::vector<std::string>{"table.txt"});
    EXPECT_EQ(slurp(name), "first\nsecond\n");
    struct stat info;
    ASSERT_EQ(stat(name.c_str(), &info), 0);
    mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);  // as a plain open would have made it
}

TEST(OutFile, ExistingFileReplacedKeepingItsMode) {
    std::string folder = fresh_folder("existing");
    std::string name = folder + "/table.txt";
    spit(name, "an old and longer table\n");
    chmod(name.c_str(), 0640);
    out_file out = open_output(name);
    write_line(out.f, "new");
    EXPECT_EQ(slurp(name), "an old and longer table\n");
    finish_output(out);
    EXPECT_EQ(slurp(name), "new\n");
    struct stat info;
    ASSERT_EQ(stat(name.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(entries(folder).size(), 1u);
}

// The handlers' clean-up removes a temporary not yet renamed; the name is
// left as it was.
TEST(OutFile, RemoveTemporariesLeavesTheOldFile) {
    std::string folder = fresh_folder("interrupted");
    std::string name = folder + "/table.txt";
    spit(name, "old\n");
    out_file out = open_output(name);
    write_line(out.f, "half");
    std::fflush(out.f);
    EXPECT_EQ(entries(folder).size(), 2u);
    remove_temporaries();
    EXPECT_EQ(entries(folder), std::vector<std::string>{"table.txt"});
    EXPECT_EQ(slurp(name), "old\n");
    std::fclose(out.f);
}

TEST(OutFile, DevicesAreWrittenInPlace) {
    out_file out = open_output("/dev/null");
    EXPECT_TRUE(out.temporary.empty());
    write_line(out.f, "gone");
    finish_output(out);
}

TEST(OutFile, LinkStaysALinkToTheNewFile) {
    std::string folder = fresh_folder("link");
    spit(folder + "/real.txt", "old\n");
    ASSERT_EQ(symlink("real.txt", (folder + "/link.txt").c_str()), 0);
    out_file out = open_output(folder + "/link.txt");
    write_line(out.f, "new");
    finish_output(out);
    struct stat info;
    ASSERT_EQ(lstat((folder + "/link.txt").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(slurp(folder + "/real.txt"), "new\n");
    EXPECT_EQ(entries(folder), (std::vector<std::string>{"link.txt", "real.txt"}));
}

TEST(OutFile, SameOutputByPathInodeOrNewName) {
    std::string folder = fresh_folder("same");
    std::string a = folder + "/a.txt", b = folder + "/b.txt";
    EXPECT_TRUE(same_output(a, a));                      // a new name, twice
    EXPECT_TRUE(same_output(a, folder + "/./a.txt"));     // spelt two ways
    EXPECT_FALSE(same_output(a, b));
    spit(a, "x");
    EXPECT_TRUE(same_output(a, a));
    EXPECT_TRUE(same_output(a, folder + "/../" + folder.substr(folder.rfind('/') + 1) + "/a.txt"));
    EXPECT_FALSE(same_output(a, b));                     // one exists, one is new
    ASSERT_EQ(link(a.c_str(), b.c_str()), 0);
    EXPECT_TRUE(same_output(a, b));                      // a hard link
    spit(folder + "/c.txt", "x");
    EXPECT_FALSE(same_output(a, folder + "/c.txt"));     // same bytes, another file
    EXPECT_FALSE(same_output("/dev/null", "/dev/null"));  // a device takes both
}

TEST(OutFileError, WriteErrorNamesTheFile) {
    run_error e = error_of([] {
        out_file out = open_output("/dev/full");
        write_line(out.f, "lost");
        finish_output(out);
    });
    EXPECT_EQ(e.text(), "Sorry, couldn't write /dev/full");
    EXPECT_TRUE(e.on_stderr);
}

TEST(OutFileError, MissingFolderCannotBeOpened) {
    std::string name = testing::TempDir() + "quorin_no_such_folder/x.txt";
    run_error e = error_of([&] { open_output(name); });
    EXPECT_EQ(e.text(), "Sorry, couldn't open " + name);
    EXPECT_TRUE(e.on_stderr);
}

// Names that must be refused before anything is written, and what the refusal
// says. Root writes anywhere, so the read-only case drops to an unprivileged
// user in the child that opens; the planted link belongs to that user.
TEST(OutFileDeath, RefusedLeavingTheOldFile) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to give files to another user";
    const uid_t nobody = 65534;
    struct refusal {
        const char* label;
        mode_t folder_mode;
        bool link;            // the name is a link of another user to a file outside the folder
        std::string message;  // after "Sorry, couldn't open NAME: "
    };
    const refusal cases[] = {
        {"readonly", 0555, false, "can't create a temporary file in FOLDER \\(Permission denied\\)"},
        {"planted", 01777, true, "won't follow NAME, a link of another user in a folder that everyone may write"},
    };
    for (const refusal& c : cases) {
        std::string folder = fresh_folder(std::string("refused_") + c.label);
        std::string name = folder + "/out.tsv";
        std::string old_file = c.link ? fresh_folder(std::string("victim_") + c.label) + "/important.txt" : name;
        spit(old_file, "old\n");
        if (c.link) {
            ASSERT_EQ(symlink(old_file.c_str(), name.c_str()), 0);
            ASSERT_EQ(lchown(name.c_str(), nobody, nobody), 0);
        } else {
            ASSERT_EQ(chown(name.c_str(), nobody, nobody), 0);
        }
        ASSERT_EQ(chmod(folder.c_str(), c.folder_mode), 0);
        std::string message = c.message;
        for (auto [key, value] : {std::pair<std::string, std::string>{"FOLDER", folder}, {"NAME", name}})
            for (std::size_t at; (at = message.find(key)) != std::string::npos;) message.replace(at, key.size(), value);
        EXPECT_EXIT(
            {
                if (!c.link && setuid(nobody) != 0) std::exit(2);
                run_error e = error_of([&] { open_output(name); });
                std::fprintf(stderr, "%s\n", e.text().c_str());
                std::exit(e ? 1 : 0);
            },
            testing::ExitedWithCode(1), "^Sorry, couldn't open " + name + ": " + message + "\n$")
            << c.label;
        EXPECT_EQ(slurp(old_file), "old\n") << c.label;
        chmod(folder.c_str(), 0755);
        EXPECT_EQ(entries(folder), std::vector<std::string>{"out.tsv"}) << c.label;
    }
}

// The control: in the same kind of folder, a link of one's own is followed.
TEST(OutFile, OwnLinkInSharedFolderIsFollowed) {
    std::string folder = fresh_folder("shared_own_link");
    std::string target = fresh_folder("shared_own_target") + "/real.txt";
    spit(target, "old\n");
    ASSERT_EQ(chmod(folder.c_str(), 01777), 0);
    ASSERT_EQ(symlink(target.c_str(), (folder + "/link.txt").c_str()), 0);
    out_file out = open_output(folder + "/link.txt");
    write_line(out.f, "new");
    finish_output(out);
    EXPECT_EQ(slurp(target), "new\n");
}

TEST(OutputError, OutOfMemoryIsOneLineOnTheErrorStream) {
    run_error e = error_of([] { throw std::bad_alloc(); });
    EXPECT_EQ(e.text(), "Sorry, out of memory");
    EXPECT_TRUE(e.on_stderr);
}
