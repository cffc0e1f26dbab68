// SPDX-License-Identifier: MIT
// The atomic save on real files, links and permissions. Permission bits do not bind root, so the
// rows marked asUser run with the effective ids of "nobody" (in a folder it owns) when the tests
// run as root, and as the tester otherwise.
#include "files/atomic_save.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <fstream>

#include "support/files.h"

namespace krx {
namespace {

namespace fs = std::filesystem;
constexpr uid_t kNobody = 65534;
const bool kRoot = ::geteuid() == 0;

using testing::fileContents;

// As "nobody" when asked and the tests run as root, with writes of at most `sizeLimit` bytes.
SaveResult saveAs(bool asUser, const fs::path& target, rlim_t sizeLimit) {
    std::signal(SIGXFSZ, SIG_IGN);  // a write over the limit fails with EFBIG, for root too
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    rlimit limit{sizeLimit, saved.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const bool drop = asUser && kRoot;
    EXPECT_TRUE(!drop || (::setegid(kNobody) == 0 && ::seteuid(kNobody) == 0));
    const SaveResult result = saveFileAtomically(target, "new");
    EXPECT_TRUE(!drop || (::seteuid(0) == 0 && ::setegid(0) == 0));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    return result;
}

enum class Owner { Saver, Nobody, Root };  // of the old file

TEST(AtomicSave, DoesNothingAnInPlaceWriteCouldNot) {
    using enum SaveRefusal;
    struct Row {
        const char* name;
        mode_t mode;         // of the old file SG.ini "old"; 0: none
        const char* linkTo;  // SG.ini is a link to this instead
        bool asUser;
        Owner owner;
        bool readOnlyFolder;
        SaveRefusal refusal;
        int errorNumber = 0;
        rlim_t sizeLimit = RLIM_INFINITY;
    };
    const Row rows[] = {
        {"ReplacedFileKeepsItsMode", 0640, nullptr, false, Owner::Saver, false, None},
        {"DanglingLinkCreatesItsTarget", 0, "made.ini", false, Owner::Saver, false, None},
        {"NoWriteBitEvenForRoot", 0444, nullptr, false, Owner::Saver, false, WriteProtected},
        // A special file of our own: a failing save as root must not replace the system's.
        {"LinkToAFifo", 0, "fifo", false, Owner::Saver, false, NotARegularFile},
        {"WriteCutShort", 0640, nullptr, false, Owner::Saver, false, SystemError, EFBIG, 2},
        {"OnlyTheFileWritableIsWrittenInPlace", 0640, nullptr, true, Owner::Saver, true, None},
        {"ReadOnlyFolderTakesNoNewFile", 0, nullptr, true, Owner::Saver, true, SystemError, EACCES},
        // Only root can make another user's file: from here on the rows need root.
        {"AnotherUsersFileKeepsItsOwner", 0640, nullptr, false, Owner::Nobody, false, None},
        {"NotWritableForThisUser", 0640, nullptr, true, Owner::Root, false, WriteProtected},
        {"OwnerThatCannotBeKeptIsWrittenInPlace", 0666, nullptr, true, Owner::Root, false, None},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.owner != Owner::Saver && !kRoot)
            GTEST_SKIP() << "the rows from " << row.name << " on need root to make another "
                         << "user's file";
        const testing::ScratchDir scratch;
        const fs::path& dir = scratch.path();
        const fs::path target = dir / "SG.ini";
        const fs::path file = row.linkTo ? dir / row.linkTo : target;  // where the bytes go
        if (row.linkTo)
            fs::create_symlink(row.linkTo, target);
        ASSERT_TRUE(file.filename() != "fifo" || ::mkfifo(file.c_str(), 0600) == 0);
        if (row.mode != 0) {
            std::ofstream(target) << "old";
            ::chmod(target.c_str(), row.mode);
        }
        const bool nobodyOwns =
            row.owner == Owner::Nobody || (row.asUser && row.owner == Owner::Saver);
        if (kRoot && nobodyOwns && fs::exists(fs::symlink_status(target))) {
            ASSERT_EQ(::lchown(target.c_str(), kNobody, kNobody), 0);
        }
        ASSERT_TRUE(!kRoot || !row.asUser || ::chown(dir.c_str(), kNobody, kNobody) == 0);
        ::chmod(dir.c_str(), row.readOnlyFolder ? 0555 : 0755);
        const std::string old = fileContents(file);
        struct stat before {
        }, after{};
        const bool existed = ::stat(file.c_str(), &before) == 0;

        const SaveResult result = saveAs(row.asUser, target, row.sizeLimit);
        EXPECT_EQ(result.refusal, row.refusal) << saveFailureReason(result);
        EXPECT_EQ(result.errorNumber, row.errorNumber) << saveFailureReason(result);
        EXPECT_EQ(fileContents(file), result ? "new" : old);
        EXPECT_EQ(fs::is_symlink(target), row.linkTo != nullptr) << "a link stays a link";
        if (existed && ::stat(file.c_str(), &after) == 0) {
            EXPECT_EQ(after.st_mode, before.st_mode);
            EXPECT_EQ(after.st_uid, before.st_uid) << "owner kept";
            EXPECT_EQ(after.st_gid, before.st_gid);
        }
        ::chmod(dir.c_str(), 0700);
        for (const auto& entry : fs::directory_iterator(dir))
            EXPECT_NE(entry.path().filename().string()[0], '.') << "scratch file left";
    }
}

}  // namespace
}  // namespace krx
