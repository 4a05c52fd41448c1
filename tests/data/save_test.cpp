// Atomic saves: the new contents in place, or the old file untouched and no temporary left.
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include <algorithm>

#include "data/datafile.h"
#include "data/save.h"
#include "support/test_env.h"

namespace {

// Every name in a folder, "." and ".." left out.
std::vector<std::string> folder_names(const std::string& folder) {
    std::vector<std::string> names;
    DIR* d = opendir(folder.c_str());
    if (!d) return names;
    while (dirent* e = readdir(d))
        if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
            names.push_back(e->d_name);
    closedir(d);
    return names;
}

std::string temp_of(const std::string& path) {
    return path + ".tmp" + std::to_string((long)getpid());
}

} // namespace

TEST(DataSave, BytesReplaceTheOldFileUnderTheUserFolder) {
    data_reset();
    write_file(test_user_dir() + "results/a.txt", "old contents");
    std::string error = "x";
    ASSERT_EQ(data_save_bytes("@results/a.txt", "new\r\n\0!", 7, &error), 1);
    EXPECT_EQ(error, "");
    EXPECT_EQ(read_file(test_user_dir() + "results/a.txt"), std::string("new\r\n\0!", 7));
    // Nothing but the file itself is left beside it.
    EXPECT_EQ(folder_names(test_user_dir() + "results"), std::vector<std::string>{"a.txt"});
}

TEST(DataSave, FoldersOfANewNameAreCreatedAndTheGameFolderIsNeverWritten) {
    data_reset();
    write_file(test_game_dir() + "/tracks/t/desc", "game copy");
    ASSERT_EQ(data_save_bytes("@tracks/t/desc", "user copy", 9), 1);
    EXPECT_EQ(read_file(test_user_dir() + "tracks/t/desc"), "user copy");
    EXPECT_EQ(read_file(test_game_dir() + "/tracks/t/desc"), "game copy");
}

TEST(DataSave, TextWrittenThroughTheStream) {
    data_reset();
    DataSave save;
    ASSERT_EQ(data_save_begin("@config", &save), 1);
    data_printf(save.file, "laps=%d\n", 7);
    data_puts(save.file, "name=Joe\n");
    // Until the commit the old file (none here) is what the name shows.
    EXPECT_FALSE(file_exists(test_user_dir() + "config"));
    ASSERT_EQ(data_save_commit(&save), 1);
    EXPECT_EQ(read_file(test_user_dir() + "config"), "laps=7\nname=Joe\n");
}

TEST(DataSave, AbortedSaveLeavesTheOldFileAndNoTemporary) {
    data_reset();
    write_file(test_user_dir() + "config", "laps=5\n");
    DataSave save;
    ASSERT_EQ(data_save_begin("@config", &save), 1);
    data_puts(save.file, "laps=");
    data_save_abort(&save);
    EXPECT_EQ(read_file(test_user_dir() + "config"), "laps=5\n");
    EXPECT_FALSE(file_exists(temp_of(test_user_dir() + "config")));
}

TEST(DataSave, TemporaryThatCannotBeCreatedFailsWithTheOldFileKept) {
    data_reset();
    std::string path = test_user_dir() + "config";
    write_file(path, "laps=5\n");
    run_command("mkdir -p '" + temp_of(path) + "'"); // a folder in the temporary's place
    std::string error;
    EXPECT_EQ(data_save_bytes("@config", "laps=9\n", 7, &error), 0);
    EXPECT_EQ(error, "can't create");
    EXPECT_EQ(read_file(path), "laps=5\n");
}

TEST(DataSave, RenameThatFailsRemovesTheTemporary) {
    data_reset();
    std::string path = test_user_dir() + "demos/x.qzdemo";
    DataSave save;
    ASSERT_EQ(data_save_begin("@demos/x.qzdemo", &save), 1);
    data_puts(save.file, "QZ05");
    // A folder takes the name while the file is written: rename cannot replace it.
    write_file(path + "/inside", "a folder holds the name");
    EXPECT_EQ(data_save_commit(&save), 0);
    EXPECT_EQ(save.error, "can't rename");
    EXPECT_FALSE(file_exists(temp_of(path)));
    EXPECT_EQ(read_file(path + "/inside"), "a folder holds the name");
    // A folder already there is refused before anything is written.
    std::string error;
    EXPECT_EQ(data_save_bytes("@demos/x.qzdemo", "QZ05", 4, &error), 0);
    EXPECT_EQ(error, "not a file");
}

TEST(DataSave, ADiskFullHalfWayKeepsTheOldFile) {
    data_reset();
    std::string path = test_user_dir() + "config";
    write_file(path, "laps=5\n");
    // The disk takes 100 bytes of the new file, then every write fails with ENOSPC.
    data_save_inject_failure(100, ENOSPC);
    DataSave save;
    ASSERT_EQ(data_save_begin("@config", &save), 1);
    for (int i = 0; i < 1000; i++) data_printf(save.file, "slot%02d=Robot\n", i % 40);
    EXPECT_EQ(data_save_commit(&save), 0);
    EXPECT_EQ(save.error, "disk full");
    EXPECT_EQ(read_file(path), "laps=5\n");
    EXPECT_EQ(folder_names(test_user_dir()), std::vector<std::string>{"config"});
    EXPECT_EQ(data_save_failures(), 1);
}

TEST(DataSave, AShortWriteThenAnErrorFailsTheSave) {
    data_reset();
    std::string path = test_user_dir() + "results.txt";
    write_file(path, "old");
    // One write is cut short part way through its buffer, and the rest meets an I/O error.
    data_save_inject_failure(5000, EIO);
    std::string big(20000, 'r');
    std::string error;
    EXPECT_EQ(data_save_bytes("@results.txt", big.data(), big.size(), &error), 0);
    EXPECT_EQ(error, "write failed");
    EXPECT_EQ(read_file(path), "old");
    EXPECT_FALSE(file_exists(temp_of(path)));
    // Writes that stay within what the disk takes still succeed.
    std::string small(4000, 's');
    EXPECT_EQ(data_save_bytes("@results.txt", small.data(), small.size(), &error), 1);
    EXPECT_EQ(read_file(path), small);
}

TEST(DataSave, AWriteErrorIsSeenBeforeTheCommit) {
    data_reset();
    data_save_inject_failure(10, ENOSPC);
    DataSave save;
    ASSERT_EQ(data_save_begin("@demos/default.qzdemo", &save), 1);
    data_puts(save.file, "QZ05 1 0 0 1792\n");
    data_flush(save.file);
    EXPECT_EQ(data_save_write_error(&save), 1);
    EXPECT_STREQ(data_save_error_text(&save), "disk full");
    data_save_abort(&save);
    EXPECT_FALSE(file_exists(test_user_dir() + "demos/default.qzdemo"));
    // Given up after the failed write, the save counts as lost.
    EXPECT_EQ(data_save_failures(), 1);
}

TEST(DataSave, KilledBetweenWriteAndRenameLeavesTheOldFile) {
    data_reset();
    std::string path = test_user_dir() + "config";
    write_file(path, "laps=5\n");
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The whole new file is written and on the disk; the process dies before the rename.
        DataSave save;
        if (!data_save_begin("@config", &save)) _exit(2);
        data_puts(save.file, "laps=9\n");
        data_flush(save.file);
        raise(SIGKILL);
        _exit(3);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(read_file(path), "laps=5\n");
    // The dead run's temporary is still there, and the next save of the name removes it.
    std::string stale = path + ".tmp" + std::to_string((long)child);
    EXPECT_EQ(read_file(stale), "laps=9\n");
    ASSERT_EQ(data_save_bytes("@config", "laps=7\n", 7), 1);
    EXPECT_EQ(read_file(path), "laps=7\n");
    EXPECT_FALSE(file_exists(stale));
}

TEST(DataSave, ALinkKeepsItsLinkAndOnlyFilesAreReplaced) {
    data_reset();
    write_file(test_dir() + "/dotfiles/config", "laps=5\n");
    run_command("mkdir -p '" + test_user_dir() + "' && ln -s '" + test_dir() +
                "/dotfiles/config' '" + test_user_dir() + "config'");
    ASSERT_EQ(data_save_bytes("@config", "laps=8\n", 7), 1);
    EXPECT_EQ(read_file(test_dir() + "/dotfiles/config"), "laps=8\n");
    char target[512] = {};
    EXPECT_GT(readlink((test_user_dir() + "config").c_str(), target, sizeof target - 1), 0);
    // A FIFO in the name's place is neither written nor replaced.
    std::string fifo = test_user_dir() + "results.txt";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    std::string error;
    EXPECT_EQ(data_save_bytes("@results.txt", "x", 1, &error), 0);
    EXPECT_EQ(error, "not a file");
    struct stat st;
    ASSERT_EQ(lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST(DataSave, EmptyOrFolderNamesAreRefused) {
    data_reset();
    std::string error;
    EXPECT_EQ(data_save_bytes("", "x", 1, &error), 0);
    EXPECT_EQ(error, "can't create");
    EXPECT_EQ(data_save_bytes("@demos/", "x", 1, &error), 0);
    EXPECT_EQ(error, "can't create");
}

TEST(DataSave, ASetPutsEveryFileInPlaceOnlyWhenAllAreWritten) {
    data_reset();
    std::string dir = test_user_dir() + "tracks/t/";
    write_file(dir + "a", "old a");
    write_file(dir + "b", "old b");
    DataSaveSet set;
    DataFile* a = data_save_set_add(&set, "@tracks/t/a");
    DataFile* b = data_save_set_add(&set, "@tracks/t/b");
    DataFile* c = data_save_set_add(&set, "@tracks/t/c");
    ASSERT_TRUE(a && b && c);
    data_puts(a, "new a");
    data_puts(b, "new b");
    data_puts(c, "new c");
    // Until the commit the old files are what the names show.
    EXPECT_EQ(read_file(dir + "a"), "old a");
    EXPECT_FALSE(file_exists(dir + "c"));
    ASSERT_EQ(data_save_set_commit(&set), 1);
    EXPECT_EQ(set.error, "");
    EXPECT_EQ(read_file(dir + "a"), "new a");
    EXPECT_EQ(read_file(dir + "b"), "new b");
    EXPECT_EQ(read_file(dir + "c"), "new c");
    EXPECT_EQ(folder_names(dir).size(), 3u);
}

TEST(DataSave, ASetWithAFileThatCannotBeMadeReplacesNothing) {
    data_reset();
    std::string dir = test_user_dir() + "tracks/t/";
    write_file(dir + "a", "old a");
    write_file(dir + "c", "old c");
    run_command("mkdir -p '" + temp_of(dir + "b") + "'"); // a folder in b's temporary's place
    DataSaveSet set;
    DataFile* a = data_save_set_add(&set, "@tracks/t/a");
    ASSERT_NE(a, nullptr);
    data_puts(a, "new a");
    EXPECT_EQ(data_save_set_add(&set, "@tracks/t/b"), nullptr);
    EXPECT_EQ(set.error, "@tracks/t/b: can't create");
    DataFile* c = data_save_set_add(&set, "@tracks/t/c");
    if (c) data_puts(c, "new c");
    EXPECT_EQ(data_save_set_commit(&set), 0);
    EXPECT_EQ(read_file(dir + "a"), "old a");
    EXPECT_EQ(read_file(dir + "c"), "old c");
    // Only the old files and the folder standing in the way: no temporary left, and the
    // folder, which the set did not make, still there.
    std::vector<std::string> names = folder_names(dir);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names,
              (std::vector<std::string>{"a", "b.tmp" + std::to_string((long)getpid()), "c"}));
}

TEST(DataSave, AnAbortedSetLeavesEveryOldFile) {
    data_reset();
    std::string dir = test_user_dir() + "tracks/t/";
    write_file(dir + "a", "old a");
    DataSaveSet set;
    data_puts(data_save_set_add(&set, "@tracks/t/a"), "new a");
    data_puts(data_save_set_add(&set, "@tracks/t/b"), "new b");
    data_save_set_abort(&set);
    EXPECT_EQ(read_file(dir + "a"), "old a");
    EXPECT_EQ(folder_names(dir), std::vector<std::string>{"a"});
}
