// The host library against careless callers and misbehaving modules: image
// writes that fail leave what was at the path as it was, handles that stay
// refused after their close however memory is reused, and ReserveSlot answers
// that are not exactly a free instance cell.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <tuple>

#include "KorlanTest.h"

namespace {

using namespace KorlanTest;

class KorlanHardening : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(setenv("KORLAN_MODULE_DIR", KACQ_MODULE_DIR, 1), 0); }
};

// A folder of the test's own, removed with what is left in it.
struct Folder {
    Folder() {
        path = ::testing::TempDir() + "korlan_hardening_XXXXXX";
        EXPECT_NE(mkdtemp(&path[0]), nullptr);
    }
    ~Folder() {
        for (const std::string& name : Names())
            unlink((path + "/" + name).c_str());
        rmdir(path.c_str());
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        if (DIR* dir = opendir(path.c_str())) {
            while (dirent* entry = readdir(dir)) {
                if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0)
                    names.push_back(entry->d_name);
            }
            closedir(dir);
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string operator/(const char* name) const { return path + "/" + name; }
    std::string path;
};

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeFile(const std::string& path, const std::string& text, mode_t mode) {
    std::ofstream(path, std::ios::binary) << text;
    ASSERT_EQ(chmod(path.c_str(), mode), 0);
}

// What a path is, to compare before and after a write.
struct Snapshot {
    auto Tie() const { return std::tie(exists, type, inode, mode, device, link, names, image); }
    bool operator==(const Snapshot& o) const { return Tie() == o.Tie(); }
    bool exists = false;
    mode_t type = 0, mode = 0;
    ino_t inode = 0;
    dev_t device = 0;
    std::string link, image;
    std::vector<std::string> names;
};

Snapshot snapshot(const Folder& folder, const std::string& path) {
    Snapshot s;
    struct stat st;
    s.exists = lstat(path.c_str(), &st) == 0;
    if (s.exists) {
        s.type = st.st_mode & S_IFMT;
        s.mode = st.st_mode & 07777;
        s.inode = st.st_ino;
        s.device = st.st_rdev;
    }
    char link[256] = "";
    ssize_t n = readlink(path.c_str(), link, sizeof link - 1);
    s.link = n > 0 ? std::string(link, static_cast<size_t>(n)) : "";
    if (s.type == S_IFREG || s.type == S_IFLNK)
        s.image = contents(path);
    s.names = folder.Names();
    return s;
}

// Writes to regular files stop with an error past `bytes` (the signal that
// would end the process is ignored meanwhile).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &m_Old);
        m_Handler = signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = m_Old;
        limit.rlim_cur = bytes;
        EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_Old);
        signal(SIGXFSZ, m_Handler);
    }

private:
    struct rlimit m_Old;
    void (*m_Handler)(int);
};

const std::string kOldImage = "P5\n1 1\n255\n\x2a";

TEST(KorlanHardeningImageFile, FailedWritesLeaveWhatWasAtThePath) {
    std::vector<uint8_t> pixels(64 * 64, 0x55);
    HostImage image{};
    ASSERT_EQ(KNewImagePtr(nullptr, &image, K_PIXEL_BYTE, 64, 64, pixels.data(), 0), K_OK);
    // An existing image, a symbolic link to it, a device that is full (or a
    // pipe without reader).
    for (auto write : {KWritePgm, KWritePng}) {
        for (const char* what : {"old.pgm", "link.pgm", "full"}) {
            SCOPED_TRACE(what);
            Folder folder;
            writeFile(folder / "old.pgm", kOldImage, 0640);
            const std::string path = folder / what;
            if (what[0] == 'l') {
                ASSERT_EQ(symlink("old.pgm", path.c_str()), 0);
            } else if (what[0] == 'f' && mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0) {
                // A node for the full device needs privileges; a pipe with no
                // reader fails the write as well.
                ASSERT_EQ(mkfifo(path.c_str(), 0666), 0);
            }
            const Snapshot before = snapshot(folder, path);
            const Snapshot imageBefore = snapshot(folder, folder / "old.pgm");
            {
                FileSizeLimit limit(16);
                EXPECT_EQ(write(&image, path.c_str()), K_ERR_FILE);
            }
            EXPECT_TRUE(snapshot(folder, path) == before);
            EXPECT_TRUE(snapshot(folder, folder / "old.pgm") == imageBefore);
            EXPECT_EQ(contents(folder / "old.pgm"), kOldImage);
        }
        EXPECT_EQ(write(&image, ""), K_ERR_FILE) << "an empty path";
    }
}

TEST(KorlanHardeningImageFile, SuccessfulWriteReplacesTheFileAtOnceThroughALink) {
    uint8_t pixels[6] = {1, 2, 3, 4, 5, 6};
    HostImage image{};
    ASSERT_EQ(KNewImagePtr(nullptr, &image, K_PIXEL_BYTE, 3, 2, pixels, 0), K_OK);
    Folder folder;
    writeFile(folder / "old.pgm", kOldImage, 0640);
    ASSERT_EQ(symlink("old.pgm", (folder / "link.pgm").c_str()), 0);
    // A reader that has the old file open keeps reading the old file whole:
    // the new one is renamed into place, never written over the old.
    int reader = open((folder / "old.pgm").c_str(), O_RDONLY);
    ASSERT_GE(reader, 0);
    ASSERT_EQ(KWritePgm(&image, (folder / "link.pgm").c_str()), K_OK);
    char old[64] = "";
    ssize_t n = read(reader, old, sizeof old);
    close(reader);
    EXPECT_EQ(std::string(old, n > 0 ? static_cast<size_t>(n) : 0), kOldImage);
    EXPECT_EQ(contents(folder / "old.pgm"),
              std::string("P5\n3 2\n255\n") + std::string(pixels, pixels + 6));
    const Snapshot link = snapshot(folder, folder / "link.pgm");
    EXPECT_EQ(std::make_tuple(link.type, link.link, snapshot(folder, folder / "old.pgm").mode),
              std::make_tuple(mode_t(S_IFLNK), std::string("old.pgm"), mode_t(0640)))
        << "still a link, permissions kept";
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"link.pgm", "old.pgm"}))
        << "nothing else left in the folder";
}

// Opens until the new handle has the stale one's value (the allocator
// reuses the block) or enough rounds for that have run; the last stays open.
template <class H, class Open>
H* Reuse(H* stale, Open open, KErr (*close)(H*)) {
    H* live = nullptr;
    for (int round = 0; round < 64; ++round) {
        EXPECT_EQ(open(&live), K_OK);
        if (live == stale || round == 63)
            break;
        EXPECT_EQ(close(live), K_OK);
    }
    return live;
}

TEST_F(KorlanHardening, ClosedHandlesStayRefusedWhenTheirMemoryIsReused) {
    KInterface* iface = nullptr;
    ASSERT_EQ(KOpenInterface("Fake", &iface), K_OK);
    KAcqInstance* stale = nullptr;
    ASSERT_EQ(KOpenInstance(iface, nullptr, &stale), K_OK);
    ASSERT_EQ(KCloseInstance(stale), K_OK);
    KAcqInstance* live = Reuse<KAcqInstance>(
        stale, [&](KAcqInstance** h) { return KOpenInstance(iface, nullptr, h); }, KCloseInstance);
    HostImage image{};
    const HostInstance* record = nullptr;
    EXPECT_EQ(KGrabImage(stale, &image), K_ERR_NO_INSTANCE);
    EXPECT_EQ(KGetInstanceRecord(stale, &record), K_ERR_NO_INSTANCE);
    EXPECT_EQ(KCloseInstance(stale), K_ERR_NO_INSTANCE);
    ASSERT_EQ(KGetInstanceRecord(live, &record), K_OK) << "the newer instance is still open";
    EXPECT_EQ(KCloseInstance(live), K_OK);
    // An instance handle is no interface handle.
    EXPECT_EQ(KCloseInterface(reinterpret_cast<KInterface*>(live)), K_ERR_NO_INTERFACE);

    // The same for interfaces: close the last reference, load again.
    ASSERT_EQ(KCloseInterface(iface), K_OK);
    KInterface* again = Reuse<KInterface>(
        iface, [](KInterface** h) { return KOpenInterface("Fake", h); }, KCloseInterface);
    int32_t max = 0;
    EXPECT_EQ(KGetMaxInstances(iface, &max), K_ERR_NO_INTERFACE);
    EXPECT_EQ(KCloseInterface(iface), K_ERR_NO_INTERFACE);
    ASSERT_EQ(KGetMaxInstances(again, &max), K_OK) << "the newer interface is still loaded";
    EXPECT_EQ(max, 2);
    EXPECT_EQ(KCloseInterface(again), K_OK);
}

// A stand-in for the module's ReserveSlot: the module's own answer moved by
// g_shift bytes; every call counted, as are calls of the module's open.
KReserveSlotOp g_moduleReserve;
KInstanceOp g_moduleOpen;
ptrdiff_t g_shift;
int g_opens;

HostInstance** shiftedReserve(KProcHandle proc, HostInstance* instance) {
    HostInstance** cell = g_moduleReserve(proc, instance);
    return reinterpret_cast<HostInstance**>(reinterpret_cast<char*>(cell) + g_shift);
}
KErr countedOpen(KProcHandle proc, HostInstance* instance) {
    ++g_opens;
    return g_moduleOpen(proc, instance);
}

TEST_F(KorlanHardening, ReserveSlotAnswersOtherThanAFreeCellAreRefused) {
    KInterface* iface = nullptr;
    ASSERT_EQ(KOpenInterface("Fake", &iface), K_OK);
    const InterfaceClass* constRecord = nullptr;
    ASSERT_EQ(KGetInterfaceRecord(iface, &constRecord), K_OK);
    InterfaceClass* ic = const_cast<InterfaceClass*>(constRecord);
    g_moduleReserve = ic->reserveSlot;
    g_moduleOpen = ic->openInstance;
    ic->reserveSlot = shiftedReserve;
    ic->openInstance = countedOpen;
    const ptrdiff_t cell = sizeof(HostInstance*);

    struct Case {
        const char* what;
        ptrdiff_t shift; // from the free cell the module chose (cell 0)
    };
    const Case cases[] = {
        {"one byte into the cell", 1},
        {"half a cell on", cell / 2},
        {"just before the first cell", -1},
        {"the cell before the first", -cell},
        {"past the declared count (2)", 2 * cell},
        {"the cell of the open instance", 0},
    };
    KAcqInstance* open = nullptr;
    g_shift = 0;
    ASSERT_EQ(KOpenInstance(iface, nullptr, &open), K_OK);
    // The module now answers cell 1; reach the open one in cell 0 by -cell.
    for (const Case& c : cases) {
        g_shift = c.shift - cell;
        g_opens = 0;
        ASSERT_EQ(KClearLastErrorMessage(), K_OK);
        KAcqInstance* instance = nullptr;
        EXPECT_EQ(KOpenInstance(iface, nullptr, &instance), K_ERR_NO_INSTANCE) << c.what;
        EXPECT_EQ(instance, nullptr) << c.what;
        EXPECT_EQ(g_opens, 0) << c.what << ": the module is not asked to open";
        EXPECT_EQ(lastMessage(),
                  "korlan: interface 'Fake' reserved a cell that is not a free instance cell")
            << c.what;
        const HostInstance* first = nullptr;
        ASSERT_EQ(KGetInstanceRecord(open, &first), K_OK);
        EXPECT_EQ(ic->instances[0], first) << c.what;
        for (int i = 1; i < HOST_MAX_INSTANCES; ++i)
            ASSERT_EQ(ic->instances[i], nullptr) << c.what << ": cell " << i;
    }
    g_shift = 0;
    KAcqInstance* second = nullptr;
    EXPECT_EQ(KOpenInstance(iface, nullptr, &second), K_OK) << "an exact free cell is taken";
    ic->reserveSlot = g_moduleReserve;
    ic->openInstance = g_moduleOpen;
    EXPECT_EQ(KCloseInterface(iface), K_OK);
}

} // namespace
