// Saving one image: sizes, orientation, crop, names that are never reused, failures that leave
// no file behind.
#include "Fixtures.h"
#include "Orientation.h"

#include "images/OutputSize.h"
#include "images/SaveFileName.h"
#include "images/SaveImageFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <tiffio.h>
#include <turbojpeg.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <functional>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vistrel {
namespace {

const CaptureTime kSaveTime{2024, 3, 2, 5, 9, 7, 2, 0};

struct Saved
{
    HRESULT result;
    SaveFileResult file;
};

Saved Save(const std::vector<std::uint8_t>& still, int W, int H, const QString& name, int filmSize, int resolution,
           int mirrored, int rotation, int format)
{
    const OutputSize size = OutputSizeFor(filmSize, resolution);
    Saved saved{};
    saved.result = SaveImageFile(still.data(), static_cast<std::int32_t>(still.size()), W, H, name, size.width,
                                 size.height, mirrored, rotation, format, {kSaveTime, 300}, &saved.file);
    return saved;
}

QSize FileImageSize(const QString& path)
{
    if (path.endsWith(".jpg")) {
        const auto bytes = test::ReadBytes(path);
        const std::unique_ptr<void, int (*)(tjhandle)> decoder(tjInitDecompress(), tjDestroy);
        int w = 0, h = 0, s = 0, c = 0;
        if (tjDecompressHeader3(decoder.get(), bytes.data(), bytes.size(), &w, &h, &s, &c) != 0) {
            return {};
        }
        return {w, h};
    }
    const std::unique_ptr<TIFF, void (*)(TIFF*)> tif(TIFFOpen(path.toLocal8Bit().constData(), "r"), TIFFClose);
    std::uint32_t w = 0, h = 0;
    if (!tif || !TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &w) || !TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &h)) {
        return {};
    }
    return {static_cast<int>(w), static_cast<int>(h)};
}

QStringList Everything(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

TEST(SaveImageFile, OutputSizesForEveryFilmSizeResolutionAndTurn)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto wide = test::EncodeJpeg(test::Quadrants(2592, 1944), 90, false);
    const auto square = test::EncodeJpeg(test::Quadrants(1600, 1600), 90, false);
    struct Case { int filmSize, resolution, rotation, format, width, height; };
    const Case cases[] = {
        {0, 0, 0, Jpeg, 2592, 1744}, {0, 1, 0, Jpeg, 5184, 3480}, {1, 0, 0, Jpeg, 2234, 2234}, {1, 1, 0, Jpeg, 4245, 4245},
        {0, 0, 1, Jpeg, 1744, 2592}, {0, 1, 3, Jpeg, 3480, 5184}, {1, 1, 1, Jpeg, 4245, 4245},
        {0, 0, 0, Tiff, 2592, 1744}, {0, 1, 1, Tiff, 3480, 5184}, {1, 0, 2, Tiff, 2234, 2234},
    };
    int position = 1;
    for (const Case& c : cases) {
        const bool film126 = c.filmSize == 1;
        const QString name = SaveFileName(dir.path(), kSaveTime, position++, c.format);
        const Saved saved = Save(film126 ? square : wide, film126 ? 1600 : 2592, film126 ? 1600 : 1944, name,
                                 c.filmSize, c.resolution, 0, c.rotation, c.format);
        ASSERT_TRUE(Succeeded(saved.result)) << ReasonLogText(saved.file.reason);
        EXPECT_EQ(saved.file.path, name);
        EXPECT_EQ(FileImageSize(name), QSize(c.width, c.height)) << name.toStdString();
    }
    EXPECT_EQ(Everything(dir.path()).size(), static_cast<qsizetype>(std::size(cases))) << "no temporary files remain";
}

TEST(SaveImageFile, EightOrientationsInBothFormats)
{
    QTemporaryDir dir;
    const auto still = test::EncodeJpeg(test::Quadrants(640, 480));
    int position = 1;
    for (const int format : {Jpeg, Tiff}) {
        for (int mirrored = 0; mirrored < 2; ++mirrored) {
            for (int rotation = 0; rotation < 4; ++rotation) {
                const QString name = SaveFileName(dir.path(), kSaveTime, position++, format);
                const Saved saved = Save(still, 640, 480, name, 0, 0, mirrored, rotation, format);
                ASSERT_TRUE(Succeeded(saved.result)) << ReasonLogText(saved.file.reason);
                const QImage image = test::ReadImageFile(name);
                ASSERT_FALSE(image.isNull());
                const auto got = test::QuarterPoints(image, 0, 0, image.width(), image.height());
                const auto expected = test::ExpectedQuadrants(mirrored, rotation);
                for (int q = 0; q < 4; ++q) {
                    EXPECT_LE(test::Distance(got[q], expected[q]), 6)
                        << (format == Jpeg ? "jpg" : "tif") << " m" << mirrored << " r" << rotation << " q" << q;
                }
            }
        }
    }
}

TEST(SaveImageFile, CropsTheRowsAboveAndBelowAtOneToOne)
{
    // 100 red rows on top, 100 blue at the bottom: exactly what the 135 Standard crop removes.
    QTemporaryDir dir;
    const QColor green(40, 190, 60);
    const auto still = test::EncodeJpeg(test::Bands(2592, 1944, 100, 100, Qt::red, green, Qt::blue));
    const QString name = dir.filePath("crop.tif");
    const Saved saved = Save(still, 2592, 1944, name, 0, 0, 0, 0, Tiff);
    ASSERT_TRUE(Succeeded(saved.result)) << ReasonLogText(saved.file.reason);
    const QImage image = test::ReadImageFile(name);
    ASSERT_EQ(image.size(), QSize(2592, 1744));
    for (const int y : {0, 1, 872, 1742, 1743}) {
        for (const int x : {0, 1296, 2591}) {
            EXPECT_LE(test::Distance(image.pixel(x, y), green), 10) << x << "," << y;
        }
    }
}

TEST(SaveImageFile, NegativeCropLeavesBlackBandsTopAndBottom)
{
    // A quarter turn makes the box 1744 x 2592; the 1944 x 2592 picture is scaled by 1744 / 1944,
    // reaching 148 source rows (about 133 output rows) beyond the still at each end.
    QTemporaryDir dir;
    const QColor grey(180, 180, 180);
    const auto still = test::EncodeJpeg(test::Bands(2592, 1944, 0, 0, grey, grey, grey));
    const QString name = dir.filePath("turned.jpg");
    const Saved saved = Save(still, 2592, 1944, name, 0, 0, 0, 1, Jpeg);
    ASSERT_TRUE(Succeeded(saved.result)) << ReasonLogText(saved.file.reason);
    const QImage image = test::ReadImageFile(name);
    ASSERT_EQ(image.size(), QSize(1744, 2592));
    for (const int x : {0, 872, 1743}) {
        for (const int y : {0, 60, 130, 2462, 2530, 2591}) {
            EXPECT_TRUE(test::IsBlack(image.pixel(x, y))) << x << "," << y;
        }
        for (const int y : {136, 1296, 2455}) {
            EXPECT_LE(test::Distance(image.pixel(x, y), grey), 6) << x << "," << y;
        }
    }
}

TEST(SaveImageFile, TakenNameGetsASuffixAndNothingIsReplaced)
{
    QTemporaryDir dir;
    const auto still = test::EncodeJpeg(test::Quadrants(320, 240));
    const QString wanted = SaveFileName(dir.path(), kSaveTime, 3, Jpeg);
    QFile precious(wanted);
    ASSERT_TRUE(precious.open(QIODevice::WriteOnly));
    precious.write("an older scan");
    precious.close();

    const QStringList expected = {"20240305090702_03-2.jpg", "20240305090702_03-3.jpg", "20240305090702_03-4.jpg"};
    for (const QString& next : expected) {
        const Saved saved = Save(still, 320, 240, wanted, 0, 0, 0, 0, Jpeg);
        ASSERT_TRUE(Succeeded(saved.result)) << ReasonLogText(saved.file.reason);
        EXPECT_EQ(saved.file.path, dir.filePath(next));
        EXPECT_EQ(FileImageSize(saved.file.path), QSize(2592, 1744));
    }
    ASSERT_TRUE(precious.open(QIODevice::ReadOnly));
    EXPECT_EQ(precious.readAll(), QByteArray("an older scan"));
    EXPECT_EQ(Everything(dir.path()).size(), 4);
}

TEST(SaveImageFile, CreatesMissingParentFolders)
{
    QTemporaryDir dir;
    const auto still = test::EncodeJpeg(test::Quadrants(320, 240));
    const QString name = SaveFileName(dir.filePath("Pictures/FilmScan/2024"), kSaveTime, 1, Tiff);
    const Saved saved = Save(still, 320, 240, name, 1, 0, 0, 0, Tiff);
    ASSERT_TRUE(Succeeded(saved.result)) << ReasonLogText(saved.file.reason);
    EXPECT_TRUE(QFile::exists(name));
}

TEST(SaveImageFile, FolderThatCannotBeCreatedFailsWithAReason)
{
    QTemporaryDir dir;
    QFile blocker(dir.filePath("not-a-folder"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const auto still = test::EncodeJpeg(test::Quadrants(320, 240));
    const QString name = SaveFileName(dir.filePath("not-a-folder/FilmScan"), kSaveTime, 1, Jpeg);
    const Saved saved = Save(still, 320, 240, name, 0, 0, 0, 0, Jpeg);
    EXPECT_TRUE(Failed(saved.result));
    EXPECT_EQ(saved.file.reason.code, ReasonCode::FolderCannotBeMade) << ReasonLogText(saved.file.reason);
    EXPECT_TRUE(saved.file.path.isEmpty());
    EXPECT_EQ(Everything(dir.path()), QStringList{"not-a-folder"});
}

// Runs the check in a child process that has given up the superuser's rights, which no permission binds;
// true when the check held there. As anyone else, it runs here.
bool HoldsWithoutSuperuser(const std::function<bool()>& check)
{
    constexpr uid_t kNobody = 65534;
    if (::geteuid() != 0)
        return check();
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
            ::_exit(2);
        ::_exit(check() ? 0 : 1);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(SaveImageFile, ReadOnlyFolderFailsAndLeavesNoFile)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath("locked");
    ASSERT_TRUE(QDir().mkpath(folder));
    constexpr auto kReadAndEnter = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup |
                                   QFile::ReadOther | QFile::ExeOther;
    QFile::setPermissions(dir.path(), kReadAndEnter | QFile::WriteOwner);
    QFile::setPermissions(folder, kReadAndEnter);
    const auto still = test::EncodeJpeg(test::Quadrants(320, 240));
    EXPECT_TRUE(HoldsWithoutSuperuser([&] {
        const Saved saved = Save(still, 320, 240, SaveFileName(folder, kSaveTime, 1, Jpeg), 0, 0, 0, 0, Jpeg);
        return Failed(saved.result) && saved.file.reason;
    }));
    EXPECT_TRUE(Everything(folder).isEmpty());
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// A write that fails part way (here the process's file size limit) leaves neither a partial file
// nor a temporary one, and an older file of the same name is untouched.
TEST(SaveImageFile, WriteFailingMidwayLeavesNoPartialFile)
{
    QTemporaryDir dir;
    const auto still = test::EncodeJpeg(test::Photo(2592, 1944), 92, false);
    const QString wanted = dir.filePath("20240305090702_01.tif");
    QFile older(wanted);
    ASSERT_TRUE(older.open(QIODevice::WriteOnly));
    older.write("older");
    older.close();

    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 1 << 20;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const Saved result = Save(still, 2592, 1944, wanted, 0, 1, 0, 0, Tiff);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_TRUE(Failed(result.result));
    EXPECT_TRUE(result.file.reason);
    EXPECT_TRUE(result.file.path.isEmpty());
    EXPECT_EQ(Everything(dir.path()), QStringList{"20240305090702_01.tif"});
    ASSERT_TRUE(older.open(QIODevice::ReadOnly));
    EXPECT_EQ(older.readAll(), QByteArray("older"));
}

// Other accounts, a share or a media server read the scans as they read any new file: the mode is
// 0666 less the umask, not the temporary file's private 0600.
TEST(SaveImageFile, FileGetsTheModeOfANewlyCreatedFile)
{
    QTemporaryDir dir;
    const auto still = test::EncodeJpeg(test::Quadrants(320, 240));
    struct Case { mode_t umask, mode; };
    const Case cases[] = {{022, 0644}, {027, 0640}, {002, 0664}, {077, 0600}};
    int position = 1;
    for (const Case& c : cases) {
        for (const int format : {Jpeg, Tiff}) {
            const mode_t previous = ::umask(c.umask);
            const Saved saved = Save(still, 320, 240, SaveFileName(dir.path(), kSaveTime, position++, format), 0, 0, 0,
                                     0, format);
            ::umask(previous);
            ASSERT_TRUE(Succeeded(saved.result)) << ReasonLogText(saved.file.reason);
            struct stat info{};
            ASSERT_EQ(::stat(QFile::encodeName(saved.file.path).constData(), &info), 0);
            EXPECT_EQ(info.st_mode & 07777, c.mode) << "umask " << std::oct << c.umask << " format " << format;
        }
    }
}

// A small file system of its own, mounted for the test and unmounted after.
class SmallFileSystem
{
public:
    explicit SmallFileSystem(const char* size)
    {
        const QByteArray options = QByteArray("size=") + size;
        mounted = dir.isValid() && ::mount("tmpfs", QFile::encodeName(dir.path()).constData(), "tmpfs", 0,
                                           options.constData()) == 0;
    }
    ~SmallFileSystem()
    {
        if (mounted) {
            ::umount2(QFile::encodeName(dir.path()).constData(), MNT_DETACH);
        }
    }
    bool Mounted() const { return mounted; }
    QString Path() const { return dir.path(); }

private:
    QTemporaryDir dir;
    bool mounted = false;
};

// Saving onto a full disk says so with the system's error, in both writers, and leaves nothing behind.
TEST(SaveImageFile, FullFileSystemNamesTheReason)
{
    SmallFileSystem disk("512k");
    if (!disk.Mounted()) {
        GTEST_SKIP() << "mounting a small tmpfs needs root and the right to mount (" << std::strerror(errno) << ")";
    }
    const auto still = test::EncodeJpeg(test::Photo(2592, 1944), 92, false);
    int position = 1;
    for (const int format : {Jpeg, Tiff}) {
        const Saved saved = Save(still, 2592, 1944, SaveFileName(disk.Path(), kSaveTime, position++, format), 0, 1, 0,
                                 0, format);
        EXPECT_TRUE(Failed(saved.result));
        EXPECT_EQ(saved.file.reason.error, ENOSPC)
            << "format " << format << ": " << ReasonLogText(saved.file.reason);
        EXPECT_TRUE(saved.file.path.isEmpty());
        EXPECT_TRUE(Everything(disk.Path()).isEmpty());
    }
}

TEST(SaveImageFile, UnknownFormatWritesNothing)
{
    QTemporaryDir dir;
    const auto still = test::EncodeJpeg(test::Quadrants(320, 240));
    const Saved saved = Save(still, 320, 240, dir.filePath("x.png"), 0, 0, 0, 0, 2);
    EXPECT_EQ(saved.result, E_INVALIDARG);
    EXPECT_TRUE(Everything(dir.path()).isEmpty());
}

} // namespace
} // namespace vistrel
