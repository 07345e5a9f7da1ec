// The write routine under attack and under faults: every step failing in turn, names planted
// where the writer could put its temporary, links at the target, permissions kept or
// refused (also for an unprivileged user in a child process), temporaries of killed writers
// removed, and a writer killed in the middle of a large write.

#include "SupportTestHelpers.h"

#include "support/FileSystem.h"
#include "testsupport/FaultInjectingFileSystem.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <grp.h>
#include <optional>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace schauplatz {
namespace {

namespace fs = std::filesystem;
using Operation = FaultInjectingFileSystem::Operation;
using testing::ScratchFolder;

const std::string kOld = "the old project, byte for byte";
const std::string kNew(300000, 'N');

std::vector<std::string> entries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void writeNew(WritableFile& file) {
    for (std::size_t at = 0; at < kNew.size(); at += 100000)
        file.write(kNew.substr(at, 100000));
}

mode_t modeOf(const std::string& path) {
    struct stat info {};
    ::lstat(path.c_str(), &info);
    return info.st_mode & 07777;
}

// ---- every step failing in turn ----------------------------------------------------------

class EveryStep : public ::testing::TestWithParam<bool> {};

TEST_P(EveryStep, FailingLeavesTheOldFileOrGivesTheWholeNewOne) {
    const bool unnamed = GetParam();
    ScratchFolder scratch;
    const std::string target = scratch.path() + "Projekt.vbk";
    std::array<int, static_cast<int>(Operation::Count)> steps{};
    {
        testing::writeFile(target, kOld);
        FaultInjectingFileSystem counting(realFileSystem());
        if (!unnamed) counting.withoutUnnamedFiles();
        ScopedFileSystemOverride use(counting);
        writeFileAtomically(target, writeNew);
        for (int kind = 0; kind < static_cast<int>(Operation::Count); ++kind)
            steps[kind] = counting.count(static_cast<Operation>(kind));
    }
    EXPECT_EQ(steps[static_cast<int>(Operation::Link)], unnamed ? 1 : 0);
    EXPECT_EQ(steps[static_cast<int>(Operation::Rename)], 1);
    EXPECT_EQ(steps[static_cast<int>(Operation::Attributes)], 1);
    int failures = 0;
    for (int kind = 0; kind < static_cast<int>(Operation::Count); ++kind) {
        for (int nth = 1; nth <= steps[kind]; ++nth) {
            const auto operation = static_cast<Operation>(kind);
            SCOPED_TRACE("operation " + std::to_string(kind) + " #" + std::to_string(nth));
            testing::writeFile(target, kOld);
            ::chmod(target.c_str(), 0640);
            FaultInjectingFileSystem faulty(realFileSystem());
            if (!unnamed) faulty.withoutUnnamedFiles();
            faulty.failOn(operation, nth, ENOSPC, operation == Operation::Write);
            bool failed = false;
            {
                ScopedFileSystemOverride use(faulty);
                try {
                    writeFileAtomically(target, writeNew);
                } catch (const FileSystemError& error) {
                    failed = true;
                    ++failures;
                    const std::string text = error.what();
                    EXPECT_NE(text.find(target), std::string::npos) << text;
                    EXPECT_NE(text.find(std::strerror(ENOSPC)), std::string::npos) << text;
                    EXPECT_NE(text.find("kann nicht gespeichert werden"), std::string::npos)
                        << text;
                }
            }
            EXPECT_EQ(testing::readFile(target), failed ? kOld : kNew);
            EXPECT_EQ(modeOf(target), 0640u);
            EXPECT_EQ(entries(scratch.path()), std::vector<std::string>{"Projekt.vbk"})
                << "a temporary was left behind";
        }
    }
    // Every step up to the rename fails the write; only the folder listing of the cleanup,
    // removals and the folder sync after the rename may fail without failing it.
    EXPECT_GE(failures, unnamed ? 9 : 8);
}

INSTANTIATE_TEST_SUITE_P(UnnamedAndNamed, EveryStep, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& p) {
                             return p.param ? "Unnamed" : "Named";
                         });

TEST(AtomicWrite, ADiskFullInTheMiddleOfALargeBodyKeepsTheOldFile) {
    ScratchFolder scratch;
    const std::string target = scratch.path() + "bild.bmp";
    testing::writeFile(target, kOld);
    FaultInjectingFileSystem faulty(realFileSystem());
    faulty.failOn(Operation::Write, 2, ENOSPC, true);
    ScopedFileSystemOverride use(faulty);
    try {
        writeFileAtomically(target, writeNew);
        FAIL() << "a full disk passed for a written file";
    } catch (const FileSystemError& error) {
        EXPECT_EQ(error.errorNumber(), ENOSPC);
        EXPECT_EQ(std::string(error.what()),
                  "\"" + target +
                      "\" kann nicht gespeichert werden (Schreiben): " + std::strerror(ENOSPC));
    }
    EXPECT_EQ(testing::readFile(target), kOld);
    EXPECT_EQ(entries(scratch.path()), std::vector<std::string>{"bild.bmp"});
}

// ---- planted names -----------------------------------------------------------------------

// A neighbour who can write the folder and guesses every name the writer tries: before each
// exclusive create or link, a link to a victim file (or a plain file) appears at that name.
class PlantingFileSystem : public FileSystem {
public:
    PlantingFileSystem(std::string victim, bool plantLinks, int plants)
        : m_victim(std::move(victim)), m_links(plantLinks), m_plants(plants) {}

    std::vector<std::string> planted;

    std::unique_ptr<WritableFile> openForWrite(const std::string& path, bool append) override {
        return m_real.openForWrite(path, append);
    }
    void rename(const std::string& from, const std::string& to) override {
        m_real.rename(from, to);
    }
    void remove(const std::string& path) override { m_real.remove(path); }
    void syncDirectory(const std::string& folder) override { m_real.syncDirectory(folder); }
    bool exists(const std::string& path) override { return m_real.exists(path); }
    void makeDirectories(const std::string& folder) override { m_real.makeDirectories(folder); }
    std::unique_ptr<WritableFile> createUnnamed(const std::string& folder, mode_t mode) override {
        if (!m_unnamed) return nullptr;
        auto file = m_real.createUnnamed(folder, mode);
        return file ? std::make_unique<PlantingFile>(*this, std::move(file)) : nullptr;
    }
    std::unique_ptr<WritableFile> createExclusive(const std::string& path, mode_t mode) override {
        plant(path);
        return m_real.createExclusive(path, mode);
    }

    void plant(const std::string& path) {
        if (static_cast<int>(planted.size()) >= m_plants) return;
        if (m_links)
            fs::create_symlink(m_victim, path);
        else
            testing::writeFile(path, "planted");
        planted.push_back(path);
    }
    bool m_unnamed = true;

private:
    class PlantingFile final : public WritableFile {
    public:
        PlantingFile(PlantingFileSystem& owner, std::unique_ptr<WritableFile> inner)
            : m_owner(owner), m_inner(std::move(inner)) {}
        void write(const void* data, std::size_t size) override { m_inner->write(data, size); }
        void seek(std::uint64_t offset) override { m_inner->seek(offset); }
        void copyAttributes(const FileStatus& from) override { m_inner->copyAttributes(from); }
        void sync() override { m_inner->sync(); }
        void link(const std::string& path) override {
            m_owner.plant(path);
            m_inner->link(path);
        }
        void close() override { m_inner->close(); }
        const std::string& path() const override { return m_inner->path(); }

    private:
        PlantingFileSystem& m_owner;
        std::unique_ptr<WritableFile> m_inner;
    };

    FileSystem& m_real = realFileSystem();
    std::string m_victim;
    bool m_links;
    int m_plants;
};

TEST(AtomicWrite, APlantedLinkOrFileAtAnyTemporaryNameIsNeverWrittenOrRemoved) {
    for (const bool unnamed : {true, false}) {
        for (const bool links : {true, false}) {
            SCOPED_TRACE(std::string(unnamed ? "unnamed" : "named") +
                         (links ? " links" : " files"));
            ScratchFolder scratch;
            const std::string victim = scratch.path() + "fremd.txt";
            const std::string target = scratch.path() + "p.vbk";
            testing::writeFile(victim, "someone else's file");
            testing::writeFile(target, kOld);

            // Three names taken: the writer moves on to a fourth and succeeds.
            PlantingFileSystem some(victim, links, 3);
            some.m_unnamed = unnamed;
            {
                ScopedFileSystemOverride use(some);
                writeFileAtomically(target, writeNew);
            }
            EXPECT_EQ(some.planted.size(), 3u);
            EXPECT_EQ(testing::readFile(target), kNew);
            EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(target)));
            EXPECT_EQ(testing::readFile(victim), "someone else's file");
            for (const std::string& name : some.planted)
                EXPECT_TRUE(fs::exists(fs::symlink_status(name))) << "not ours to remove";

            // Every name taken: the write fails and nothing changes.
            testing::writeFile(target, kOld);
            PlantingFileSystem all(victim, links, 1000);
            all.m_unnamed = unnamed;
            {
                ScopedFileSystemOverride use(all);
                EXPECT_THROW(writeFileAtomically(target, writeNew), FileSystemError);
            }
            EXPECT_EQ(testing::readFile(target), kOld);
            EXPECT_EQ(testing::readFile(victim), "someone else's file");
        }
    }
}

TEST(AtomicWrite, TheNamesOfOlderVersionsPlantedAsLinksAreNotFollowed) {
    ScratchFolder scratch;
    const std::string victim = scratch.path() + "opfer.txt";
    const std::string target = scratch.path() + "p.vbk";
    testing::writeFile(victim, "victim");
    testing::writeFile(target, kOld);
    for (int n = 0; n < 5; ++n) {
        fs::create_symlink(victim, scratch.path() + ".p.vbk.tmp-" + std::to_string(::getpid()) +
                                       "-" + std::to_string(n));
    }
    writeFileAtomically(target, writeNew);
    EXPECT_EQ(testing::readFile(target), kNew);
    EXPECT_EQ(testing::readFile(victim), "victim");
}

// ---- links at the target -----------------------------------------------------------------

TEST(AtomicWrite, ALinkAtTheTargetIsFollowedAndStays) {
    ScratchFolder scratch;
    fs::create_directories(scratch.path() + "echt");
    const std::string real = scratch.path() + "echt/Projekt.vbk";
    testing::writeFile(real, kOld);
    ::chmod(real.c_str(), 0600);
    const std::string link = scratch.path() + "Verweis.vbk";
    const std::string chain = scratch.path() + "Kette.vbk";
    fs::create_symlink("echt/Projekt.vbk", link); // relative to the link's folder
    fs::create_symlink(link, chain);

    writeFileAtomically(chain, writeNew);
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(chain)));
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(link)));
    EXPECT_EQ(fs::read_symlink(link), "echt/Projekt.vbk");
    EXPECT_EQ(testing::readFile(real), kNew);
    EXPECT_EQ(modeOf(real), 0600u);
    EXPECT_EQ(entries(scratch.path() + "echt"), std::vector<std::string>{"Projekt.vbk"});

    // A dangling link: the file it names is created, the link then leads to it.
    const std::string dangling = scratch.path() + "neu.vbk";
    fs::create_symlink("echt/neu.vbk", dangling);
    writeFileAtomically(dangling, [](WritableFile& f) { f.write("fresh"); });
    EXPECT_EQ(testing::readFile(scratch.path() + "echt/neu.vbk"), "fresh");

    // A loop of links and a folder at the target are refused with the name.
    fs::create_symlink(scratch.path() + "b", scratch.path() + "a");
    fs::create_symlink(scratch.path() + "a", scratch.path() + "b");
    EXPECT_THROW(writeFileAtomically(scratch.path() + "a", writeNew), FileSystemError);
    try {
        writeFileAtomically(scratch.path() + "echt", writeNew);
        FAIL() << "a folder was replaced";
    } catch (const FileSystemError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "\"" + scratch.path() + "echt\" ist keine gewöhnliche Datei");
    }
}

// ---- permissions -------------------------------------------------------------------------

TEST(AtomicWrite, PermissionBitsOwnerAndGroupOfTheOldFileAreKept) {
    ScratchFolder scratch;
    const std::string target = scratch.path() + "p.vbk";
    for (const mode_t mode : {0600u, 0640u, 0664u, 0660u}) {
        testing::writeFile(target, kOld);
        ::chmod(target.c_str(), mode);
        writeFileAtomically(target, writeNew);
        EXPECT_EQ(modeOf(target), mode);
    }
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(target.c_str(), 4321, 8765), 0);
        ::chmod(target.c_str(), 0640);
        writeFileAtomically(target, writeNew);
        struct stat info {};
        ::lstat(target.c_str(), &info);
        EXPECT_EQ(info.st_uid, 4321u);
        EXPECT_EQ(info.st_gid, 8765u);
        EXPECT_EQ(info.st_mode & 07777, 0640u);
    }
    // A new file gets what the umask leaves of 0666.
    const mode_t mask = ::umask(027);
    writeFileAtomically(scratch.path() + "neu.bmp", writeNew);
    ::umask(mask);
    EXPECT_EQ(modeOf(scratch.path() + "neu.bmp"), 0640u);
}

TEST(AtomicWrite, AReadOnlyFileIsRefusedAndStaysAsItWas) {
    ScratchFolder scratch;
    const std::string target = scratch.path() + "p.vbk";
    testing::writeFile(target, kOld);
    ::chmod(target.c_str(), 0444);
    try {
        writeFileAtomically(target, writeNew);
        FAIL() << "a read-only project was replaced";
    } catch (const FileSystemError& error) {
        EXPECT_EQ(std::string(error.what()), "\"" + target + "\" ist schreibgeschützt");
        EXPECT_EQ(error.errorNumber(), EACCES);
    }
    EXPECT_EQ(testing::readFile(target), kOld);
    EXPECT_EQ(modeOf(target), 0444u);
    EXPECT_EQ(entries(scratch.path()), std::vector<std::string>{"p.vbk"});
}

// Runs body as the user "nobody" in a child process; its result comes back as text.
// Empty optional: dropping to that user is impossible here (not root, no such user).
std::optional<std::string> asNobody(const std::function<std::string()>& body) {
    const passwd* nobody = ::getpwnam("nobody");
    if (::geteuid() != 0 || nobody == nullptr) return std::nullopt;
    const uid_t uid = nobody->pw_uid;
    const gid_t gid = nobody->pw_gid;
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return std::nullopt;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeFds[0]);
        if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0) ::_exit(77);
        std::string result;
        try {
            result = body();
        } catch (const std::exception& error) {
            result = std::string("error: ") + error.what();
        }
        const ssize_t ignored = ::write(pipeFds[1], result.data(), result.size());
        (void)ignored;
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    std::string result;
    char buffer[256];
    for (ssize_t got; (got = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        result.append(buffer, static_cast<std::size_t>(got));
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77) return std::nullopt;
    return result;
}

std::string attempt(const std::string& target) {
    try {
        writeFileAtomically(target, writeNew);
        return "written";
    } catch (const std::exception& error) {
        return error.what();
    }
}

TEST(AtomicWriteAsUser, FilesTheUserMayNotWriteAreRefusedOwnFilesKeepTheirBits) {
    ScratchFolder scratch;
    ::chmod(scratch.path().c_str(), 0755);
    const std::string shared = scratch.path() + "gemeinsam/";
    fs::create_directories(shared);
    ::chmod(shared.c_str(), 0777); // the user may create files here, and rename over any
    const passwd* nobody = ::getpwnam("nobody");
    if (::geteuid() != 0 || nobody == nullptr) GTEST_SKIP() << "needs root and the user nobody";

    const std::string others = shared + "fremd.vbk"; // root's, readable only
    testing::writeFile(others, kOld);
    ::chmod(others.c_str(), 0644);
    const std::string ownReadOnly = shared + "gesperrt.vbk";
    testing::writeFile(ownReadOnly, kOld);
    ::chown(ownReadOnly.c_str(), nobody->pw_uid, nobody->pw_gid);
    ::chmod(ownReadOnly.c_str(), 0400);
    const std::string own = shared + "eigen.vbk";
    testing::writeFile(own, kOld);
    ::chown(own.c_str(), nobody->pw_uid, 0); // group root: not the user's to give
    ::chmod(own.c_str(), 0640);

    const auto results = asNobody(
        [&] { return attempt(others) + "\n" + attempt(ownReadOnly) + "\n" + attempt(own); });
    if (!results) GTEST_SKIP() << "cannot drop to the user nobody";
    EXPECT_EQ(*results, "\"" + others + "\" ist schreibgeschützt\n\"" + ownReadOnly +
                            "\" ist schreibgeschützt\nwritten");
    EXPECT_EQ(testing::readFile(others), kOld);
    EXPECT_EQ(testing::readFile(ownReadOnly), kOld);
    EXPECT_EQ(testing::readFile(own), kNew);
    struct stat info {};
    ::lstat(own.c_str(), &info);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(info.st_uid, nobody->pw_uid);
    EXPECT_EQ(info.st_gid, nobody->pw_gid) << "a group the user is no member of is not kept";
    EXPECT_EQ(entries(shared),
              (std::vector<std::string>{"eigen.vbk", "fremd.vbk", "gesperrt.vbk"}));
}

// ---- temporaries of killed writers -------------------------------------------------------

// The id of a process that has ended (and been reaped).
pid_t endedProcess() {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    int status = 0;
    ::waitpid(child, &status, 0);
    return child;
}

TEST(AtomicWrite, TemporariesOfEndedWritersGoAtTheNextWriteIntoTheirFolder) {
    ScratchFolder scratch;
    const std::string folder = scratch.path();
    const std::string gone = std::to_string(endedProcess());
    const std::string alive = std::to_string(::getppid());
    const std::string self = std::to_string(::getpid());
    const std::string random = "0123456789abcdef";
    const std::vector<std::string> stale = {
        ".p.vbk.schauplatz-" + gone + "-" + random + ".tmp",
        ".Bild 1.bmp.schauplatz-" + gone + "-fedcba9876543210.tmp",
        ".p.vbk.tmp-" + gone + "-0", // written by older versions
    };
    const std::vector<std::string> kept = {
        ".p.vbk.schauplatz-" + alive + "-" + random + ".tmp", // its writer still runs
        ".p.vbk.schauplatz-" + self + "-" + random + ".tmp",  // ours: maybe being written
        ".p.vbk.schauplatz-" + gone + "-0123456789abcde.tmp", // not our pattern
        "p.vbk.schauplatz-" + gone + "-" + random + ".tmp",   // not hidden
        ".notizen.tmp-" + gone + "-x",                        // not our pattern
        "anderes.txt",
    };
    for (const std::string& name : stale)
        testing::writeFile(folder + name, "left by a killed writer");
    for (const std::string& name : kept)
        testing::writeFile(folder + name, "keep");
    const std::string linkName = ".q.vbk.schauplatz-" + gone + "-" + random + ".tmp";
    fs::create_symlink(folder + "anderes.txt", folder + linkName); // no regular file: stays

    writeFileAtomically(folder + "p.vbk", writeNew);
    for (const std::string& name : stale)
        EXPECT_FALSE(fs::exists(folder + name)) << name;
    for (const std::string& name : kept)
        EXPECT_EQ(testing::readFile(folder + name), "keep") << name;
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(folder + linkName)));

    long pid = 0;
    EXPECT_TRUE(isAtomicWriteTemporary(stale[0], pid));
    EXPECT_EQ(std::to_string(pid), gone);
    EXPECT_FALSE(isAtomicWriteTemporary(kept[2], pid));
    EXPECT_FALSE(isAtomicWriteTemporary(".tmp-1-2", pid));
}

// A writer killed with SIGKILL in the middle of a large write: the old file is intact and no
// temporary stays behind (an unnamed one vanishes with its process; a named one, on file
// systems without unnamed files, goes at the next write into the folder).
TEST(AtomicWrite, AWriterKilledMidwayLeavesTheOldFileAndNoTemporary) {
    for (const bool unnamed : {true, false}) {
        SCOPED_TRACE(unnamed ? "unnamed" : "named");
        ScratchFolder scratch;
        const std::string target = scratch.path() + "gross.vbk";
        testing::writeFile(target, kOld);
        int midway[2];
        int never[2];
        ASSERT_EQ(::pipe(midway), 0);
        ASSERT_EQ(::pipe(never), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            FaultInjectingFileSystem files(realFileSystem());
            if (!unnamed) files.withoutUnnamedFiles();
            ScopedFileSystemOverride use(files);
            writeFileAtomically(target, [&](WritableFile& file) {
                const std::string block(1 << 20, 'B');
                for (int i = 0; i < 64; ++i)
                    file.write(block);
                if (::write(midway[1], "m", 1) != 1) ::_exit(2);
                char wait = 0;
                if (::read(never[0], &wait, 1) < 0) ::_exit(3); // blocks until killed
                for (int i = 0; i < 64; ++i)
                    file.write(block);
            });
            ::_exit(0);
        }
        char signal = 0;
        ASSERT_EQ(::read(midway[0], &signal, 1), 1);
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status));
        for (int fd : {midway[0], midway[1], never[0], never[1]})
            ::close(fd);

        EXPECT_EQ(testing::readFile(target), kOld);
        const std::vector<std::string> left = entries(scratch.path());
        EXPECT_EQ(left.size(), unnamed ? 1u : 2u);
        writeFileAtomically(target, writeNew);
        EXPECT_EQ(entries(scratch.path()), std::vector<std::string>{"gross.vbk"});
    }
}

} // namespace
} // namespace schauplatz
