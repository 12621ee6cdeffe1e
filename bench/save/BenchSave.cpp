// How close saving, selecting and the live picture come to the codecs' own limit on this machine,
// and how they compare with ImageMagick and libvips doing the same work, all measured in one run.
// Every measurement runs in a child process (so its peak memory is its own); the rounds interleave
// all of them in a fresh random order, so a change in the machine's load hits them alike; figures are
// medians over the rounds.
#include "capture/contract/MediaType.h"
#include "capture/runtime/FrameConverter.h"
#include "capture/runtime/VideoRenderer.h"
#include "images/DecodedStill.h"
#include "images/OrientationTransform.h"
#include "images/OutputSize.h"
#include "images/RenderFitted.h"
#include "images/Resampler.h"
#include "images/SaveBatch.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>

#include <tiffio.h>
#include <turbojpeg.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <sys/resource.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace vistrel;

namespace {

constexpr int kStillWidth = 2592, kStillHeight = 1944, kEntries = 12, kStills = 4;
constexpr int kThumbnailWidth = 88, kThumbnailHeight = 62;
constexpr int kPreviewWidth = 313, kPreviewHeight = 197;    // control 1016 at the default dialog font
constexpr int kLiveWidth = 1280, kLiveHeight = 960, kLiveTargetWidth = 648, kLiveTargetHeight = 486;
constexpr int kCallsPerSample = 40;                        // renders and decodes: median of these is one sample
constexpr long kTmpfsMagic = 0x01021994;
constexpr const char* kImageMagick = "/usr/bin/convert-im6.q16";

const char* kUsage =
    "usage: bench_save [--rounds N] [--workers N] [--only SUBSTRING] [--no-peers] [--dir DIR] [--help]\n"
    "\n"
    "Saves 12 stills of 2592x1944 as Standard and High JPEG and TIFF with our save, with the codecs\n"
    "alone (TurboJPEG decode + encode, or decode + libtiff LZW write, on the same number of workers),\n"
    "with ImageMagick and with libvips; renders a selection (thumbnail and preview from one still)\n"
    "against one 1/8 TurboJPEG decode; renders live MJPEG frames against a decode at the same scale.\n"
    "Each round runs every measurement once in a random order; the figures are medians over rounds.\n"
    "Ends with 'summary <key> <value>' lines.\n"
    "\n"
    "  --rounds N      rounds (default 5)\n"
    "  --workers N     save workers (default: one per core)\n"
    "  --only TEXT     only the measurements whose name contains TEXT (the summary needs them all)\n"
    "  --no-peers      leave out ImageMagick and libvips\n"
    "  --dir DIR       work and write there (default: a temporary folder); on a real disk the saves\n"
    "                  include making the files durable, on tmpfs they do not\n";

double NowMs()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

double Median(std::vector<double> v)
{
    if (v.empty()) {
        return NAN;
    }
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

// A film frame: gradients, rings, fine detail and grain, as a scanner's still pin would deliver it
// (4:2:2, quality 92).
std::vector<std::uint8_t> MakeStill(int seed)
{
    std::mt19937 random(static_cast<unsigned>(seed));
    std::normal_distribution<double> grain(0.0, 5.0);
    QImage image(kStillWidth, kStillHeight, QImage::Format_RGB32);
    const double cx = 0.3 + 0.1 * seed, cy = 0.6 - 0.05 * seed;
    for (int y = 0; y < kStillHeight; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < kStillWidth; ++x) {
            const double fx = static_cast<double>(x) / kStillWidth, fy = static_cast<double>(y) / kStillHeight;
            const double ring = 0.5 + 0.5 * std::sin(std::hypot(fx - cx, fy - cy) * (40.0 + 10 * seed));
            const double leaves = 0.5 + 0.5 * std::sin(fx * 300.0 + std::sin(fy * 40.0) * 6.0);
            const double n = grain(random);
            const int r = static_cast<int>(60 + 140 * fx + 40 * ring + 20 * leaves + n);
            const int g = static_cast<int>(50 + 120 * fy + 50 * leaves * (fx > 0.5) + n);
            const int b = static_cast<int>(40 + 110 * ring + 50 * (1.0 - fx) + n);
            row[x] = qRgb(std::clamp(r, 0, 255), std::clamp(g, 0, 255), std::clamp(b, 0, 255));
        }
    }
    const std::unique_ptr<void, int (*)(tjhandle)> encoder(tjInitCompress(), tjDestroy);
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    tjCompress2(encoder.get(), image.constBits(), kStillWidth, static_cast<int>(image.bytesPerLine()), kStillHeight,
                TJPF_BGRX, &jpeg, &size, TJSAMP_422, 92, 0);
    std::vector<std::uint8_t> bytes(jpeg, jpeg + size);
    tjFree(jpeg);
    return bytes;
}

// A live camera frame (4:2:2, quality 85).
std::vector<std::uint8_t> MakeLiveFrame()
{
    QImage image(kLiveWidth, kLiveHeight, QImage::Format_RGB32);
    for (int y = 0; y < kLiveHeight; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < kLiveWidth; ++x) {
            const double u = double(x) / kLiveWidth, v = double(y) / kLiveHeight;
            row[x] = qRgb(static_cast<int>(255 * u), static_cast<int>(255 * v),
                          static_cast<int>(128 + 100 * std::sin((x * x + y * y) * 0.0005)));
        }
    }
    const std::unique_ptr<void, int (*)(tjhandle)> encoder(tjInitCompress(), tjDestroy);
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    tjCompress2(encoder.get(), image.constBits(), kLiveWidth, static_cast<int>(image.bytesPerLine()), kLiveHeight,
                TJPF_BGRX, &jpeg, &size, TJSAMP_422, 85, 0);
    std::vector<std::uint8_t> bytes(jpeg, jpeg + size);
    tjFree(jpeg);
    return bytes;
}

std::vector<std::uint8_t> ReadFile(const QString& path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    const QByteArray data = file.readAll();
    return {data.begin(), data.end()};
}

QString StillPath(const QString& dir, int entry)
{
    return QStringLiteral("%1/in/entry_%2.jpg").arg(dir).arg(entry + 1, 2, 10, QLatin1Char('0'));
}

void ClearFolder(const QString& path)
{
    QDir(path).removeRecursively();
    QDir().mkpath(path);
}

std::vector<std::vector<std::uint8_t>> ReadStills(const QString& dir)
{
    std::vector<std::vector<std::uint8_t>> stills;
    for (int i = 0; i < kEntries; ++i) {
        stills.push_back(ReadFile(StillPath(dir, i)));
    }
    return stills;
}

// ---- child side: one measurement, one "sample <ms>" line ----

void Sample(double ms)
{
    std::printf("sample %.4f\n", ms);
}

int ChildSave(const QString& dir, int resolution, int format, int workers)
{
    std::vector<std::shared_ptr<const std::vector<std::uint8_t>>> stills;
    for (auto& s : ReadStills(dir)) {
        stills.push_back(std::make_shared<const std::vector<std::uint8_t>>(std::move(s)));
    }
    const QString out = dir + QStringLiteral("/out-ours");
    ClearFolder(out);
    std::vector<SaveEntry> entries;
    for (int i = 0; i < kEntries; ++i) {
        SaveEntry e;
        e.id = static_cast<std::uint64_t>(i + 1);
        e.frameData = stills[static_cast<std::size_t>(i)];
        e.frameWidth = kStillWidth;
        e.frameHeight = kStillHeight;
        e.filmSize = 0;
        e.resolution = resolution;
        e.captureTime = LocalTimeNow();
        entries.push_back(std::move(e));
    }
    const double start = NowMs();
    SaveBatch batch(std::move(entries), out, format, LocalTimeNow());
    batch.Start({}, workers);
    batch.Wait();
    Sample(NowMs() - start);
    std::uint64_t written = 0;
    for (const auto& r : batch.Results()) {
        if (Failed(r.result)) {
            std::fprintf(stderr, "save failed: %s\n", ReasonLogText(r.reason).c_str());
            return 1;
        }
        written += static_cast<std::uint64_t>(QFileInfo(r.path).size());
    }
    std::printf("bytes %.1f\n", static_cast<double>(written) / kEntries);
    return 0;
}

// The codecs alone on the same work: every worker decodes its stills at full size and encodes a
// picture of the output size (JPEG q100 4:4:4 into memory, or TIFF LZW with differencing into a
// file). The pictures to encode are made beforehand, outside the timing.
int ChildLimit(const QString& dir, int resolution, int format, int workers)
{
    const auto stills = ReadStills(dir);
    const OutputSize size = OutputSizeFor(0, resolution);
    const int w = size.width, h = size.height;
    std::vector<QImage> outputs;
    for (int i = 0; i < kStills; ++i) {
        QImage image;
        RenderFitted(stills[static_cast<std::size_t>(i)].data(), static_cast<std::int32_t>(stills[static_cast<std::size_t>(i)].size()),
                     kStillWidth, kStillHeight, w, h, 0, 0, &image);
        outputs.push_back(format == 0 ? image : image.convertToFormat(QImage::Format_RGB888));
    }
    const QString out = dir + QStringLiteral("/out-limit");
    ClearFolder(out);
    std::atomic<int> next{0};
    std::atomic<bool> ok{true};
    auto work = [&] {
        const std::unique_ptr<void, int (*)(tjhandle)> decoder(tjInitDecompress(), tjDestroy);
        const std::unique_ptr<void, int (*)(tjhandle)> encoder(tjInitCompress(), tjDestroy);
        std::vector<std::uint8_t> decoded(static_cast<std::size_t>(kStillWidth) * kStillHeight * 4);
        unsigned long capacity = tjBufSize(w, h, TJSAMP_444);
        std::unique_ptr<unsigned char, void (*)(unsigned char*)> jpeg(tjAlloc(static_cast<int>(capacity)), tjFree);
        for (int i = next++; i < kEntries; i = next++) {
            const auto& still = stills[static_cast<std::size_t>(i)];
            if (tjDecompress2(decoder.get(), still.data(), still.size(), decoded.data(), kStillWidth, 0, kStillHeight,
                              TJPF_BGRX, 0) != 0) {
                ok = false;
            }
            const QImage& picture = outputs[static_cast<std::size_t>(i % kStills)];
            if (format == 0) {
                unsigned char* buffer = jpeg.get();
                unsigned long bytes = capacity;
                if (tjCompress2(encoder.get(), picture.constBits(), w, static_cast<int>(picture.bytesPerLine()), h,
                                TJPF_BGRX, &buffer, &bytes, TJSAMP_444, 100, TJFLAG_NOREALLOC) != 0) {
                    ok = false;
                }
                continue;
            }
            const QByteArray name = QFile::encodeName(out + QStringLiteral("/%1.tif").arg(i));
            TIFF* tif = TIFFOpen(name.constData(), "w");
            TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(w));
            TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(h));
            TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
            TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
            TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
            TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
            TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
            TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, std::max(1, 256 * 1024 / (w * 3)));
            for (int y = 0; y < h; ++y) {
                if (TIFFWriteScanline(tif, const_cast<uchar*>(picture.constScanLine(y)), static_cast<std::uint32_t>(y), 0) < 0) {
                    ok = false;
                }
            }
            TIFFClose(tif);
        }
    };
    const double start = NowMs();
    std::vector<std::thread> threads;
    for (int t = 0; t < workers; ++t) {
        threads.emplace_back(work);
    }
    for (auto& t : threads) {
        t.join();
    }
    Sample(NowMs() - start);
    return ok ? 0 : 1;
}

// One sample: the median of many calls, the first few (cold caches) left out.
int MedianOfCalls(const std::function<void()>& call)
{
    std::vector<double> times;
    for (int i = -3; i < kCallsPerSample; ++i) {
        const double start = NowMs();
        call();
        if (i >= 0) {
            times.push_back(NowMs() - start);
        }
    }
    Sample(Median(times));
    return 0;
}

// What a selection renders: the preview and the thumbnail, turning through the orientations.
int ChildSelection(const QString& dir)
{
    const auto still = ReadFile(StillPath(dir, 0));
    const QSize sizes[] = {{kPreviewWidth, kPreviewHeight}, {kThumbnailWidth, kThumbnailHeight}};
    QImage images[2];
    int turn = 0;
    return MedianOfCalls([&] {
        RenderFitted(still.data(), static_cast<std::int32_t>(still.size()), kStillWidth, kStillHeight, sizes, turn / 4 % 2,
                     turn % 4, images);
        ++turn;
    });
}

// The yardstick: a plain TurboJPEG decode at 1/denominator, header read and buffer allocated per
// call as a renderer must.
int ChildDecode(const QString& dir, int denominator)
{
    const auto still = ReadFile(StillPath(dir, 0));
    const std::unique_ptr<void, int (*)(tjhandle)> decoder(tjInitDecompress(), tjDestroy);
    const tjscalingfactor factor{1, denominator};
    return MedianOfCalls([&] {
        int w = 0, h = 0, s = 0, c = 0;
        tjDecompressHeader3(decoder.get(), still.data(), still.size(), &w, &h, &s, &c);
        const int sw = TJSCALED(w, factor), sh = TJSCALED(h, factor);
        auto pixels = std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(sw) * sh * 4);
        tjDecompress2(decoder.get(), still.data(), still.size(), pixels.get(), sw, sw * 4, sh, TJPF_BGRX, 0);
    });
}

// The live picture: the video renderer turning MJPEG frames into what the surface paints.
class DiscardingSurface : public IVideoSurface
{
public:
    void PlacementChanged(const VideoPlacement&) override {}
    void PresentFrame(std::shared_ptr<const VideoFrame> frame) override { last = std::move(frame); }
    std::shared_ptr<const VideoFrame> last;
};

int ChildLive()
{
    const auto jpeg = MakeLiveFrame();
    const MediaType type = MakeVideoInfoType(MEDIASUBTYPE_MJPG, kLiveWidth, kLiveHeight);
    auto renderer = VideoRenderer::Create();
    DiscardingSurface surface;
    renderer->put_Owner(&surface);
    renderer->SetWindowPosition(0, 0, kLiveTargetWidth, kLiveTargetHeight);
    renderer->put_Visible(OATRUE);
    const MediaSample sample{jpeg.data(), static_cast<std::int32_t>(jpeg.size()), 0.0, &type};
    const int result = MedianOfCalls([&] {
        renderer->Render(sample);
        surface.last.reset();   // painted: the frame goes back to the renderer's pool
    });
    renderer->put_Owner(nullptr);
    return result;
}

// The same frame decoded by TurboJPEG alone at the scale the renderer decodes it.
int ChildLiveDecode()
{
    const auto jpeg = MakeLiveFrame();
    const int numerator = FrameConverter::ScaleNumeratorFor(kLiveWidth, kLiveHeight, kLiveTargetWidth, kLiveTargetHeight);
    const int w = (kLiveWidth * numerator + 7) / 8, h = (kLiveHeight * numerator + 7) / 8;
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(w) * h * 4);
    const std::unique_ptr<void, int (*)(tjhandle)> decoder(tjInitDecompress(), tjDestroy);
    return MedianOfCalls([&] {
        tjDecompress2(decoder.get(), jpeg.data(), jpeg.size(), pixels.data(), w, w * 4, h, TJPF_BGRX, 0);
    });
}

int Child(char** argv)
{
    const std::string what = argv[2];
    const QString dir = QString::fromLocal8Bit(argv[3]);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (what == "idle") {
        const auto stills = ReadStills(dir);
        Sample(stills.empty() ? 0 : 0);
        return 0;
    }
    int resolution = 0, format = 0, workers = 0;
    if (std::sscanf(what.c_str(), "save-%d-%d-%d", &resolution, &format, &workers) == 3) {
        return ChildSave(dir, resolution, format, workers);
    }
    if (std::sscanf(what.c_str(), "limit-%d-%d-%d", &resolution, &format, &workers) == 3) {
        return ChildLimit(dir, resolution, format, workers);
    }
    int denominator = 0;
    if (std::sscanf(what.c_str(), "decode-1/%d", &denominator) == 1) {
        return ChildDecode(dir, denominator);
    }
    if (what == "selection") {
        return ChildSelection(dir);
    }
    if (what == "live") {
        return ChildLive();
    }
    if (what == "live-decode") {
        return ChildLiveDecode();
    }
    std::fprintf(stderr, "unknown measurement %s\n", what.c_str());
    return 2;
}

// ---- parent side ----

struct Outcome
{
    std::vector<double> samples;
    double bytes = 0;
    long maxRssKb = 0;
    bool ok = true;
};

// Runs argv with the environment additions, collecting "sample" and "bytes" lines and maxrss.
Outcome RunProcess(const std::vector<std::string>& args, const std::vector<std::string>& environment = {})
{
    Outcome outcome;
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        outcome.ok = false;
        return outcome;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        close(pipeFds[0]);
        close(pipeFds[1]);
        for (const std::string& e : environment) {
            putenv(const_cast<char*>(e.c_str()));
        }
        std::vector<char*> argv;
        for (const std::string& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    std::string text;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<std::size_t>(n));
    }
    close(pipeFds[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    outcome.maxRssKb = usage.ru_maxrss;
    outcome.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find('\n', at);
        const std::string line = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        double value = 0;
        if (std::sscanf(line.c_str(), "sample %lf", &value) == 1) {
            outcome.samples.push_back(value);
        } else if (std::sscanf(line.c_str(), "bytes %lf", &value) == 1) {
            outcome.bytes = value;
        }
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return outcome;
}

// A peer's round: several processes, one after the other or all at once; its wall time and the
// largest maxrss of any of them.
Outcome RunPeer(const std::vector<std::vector<std::string>>& commands, const std::vector<std::string>& environment,
                bool parallel, const QString& outDir)
{
    Outcome total;
    ClearFolder(outDir);
    const double start = NowMs();
    std::vector<Outcome> outcomes(commands.size());
    if (parallel) {
        std::vector<std::thread> threads;
        for (std::size_t i = 0; i < commands.size(); ++i) {
            threads.emplace_back([&, i] { outcomes[i] = RunProcess(commands[i], environment); });
        }
        for (auto& t : threads) {
            t.join();
        }
    } else {
        for (std::size_t i = 0; i < commands.size(); ++i) {
            outcomes[i] = RunProcess(commands[i], environment);
        }
    }
    total.samples.push_back(NowMs() - start);
    for (const auto& o : outcomes) {
        total.maxRssKb = std::max(total.maxRssKb, o.maxRssKb);
        total.ok = total.ok && o.ok;
    }
    qint64 bytes = 0;
    int files = 0;
    for (const QFileInfo& info : QDir(outDir).entryInfoList({"*.jpg", "*.tif"}, QDir::Files)) {
        bytes += info.size();
        ++files;
    }
    total.bytes = files ? static_cast<double>(bytes) / files : 0;
    return total;
}

// One measurement of the run: how to take a round of it, and what it gathered.
struct Measurement
{
    std::string name;
    std::function<Outcome()> run;
    Outcome gathered;

    void Take()
    {
        const Outcome o = run();
        gathered.samples.insert(gathered.samples.end(), o.samples.begin(), o.samples.end());
        gathered.maxRssKb = std::max(gathered.maxRssKb, o.maxRssKb);
        gathered.bytes = o.bytes;
        gathered.ok = gathered.ok && o.ok;
    }
    double MedianMs() const { return gathered.ok ? Median(gathered.samples) : NAN; }
};

struct Options
{
    int rounds = 5;
    int workers = 0;
    bool peers = true;
    std::string only;
    QString dir;
};

// Returns -1 to go on, or the exit code.
int ParseArguments(int argc, char** argv, Options* options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--rounds" && hasValue) {
            options->rounds = std::max(1, std::atoi(argv[++i]));
        } else if (a == "--workers" && hasValue) {
            options->workers = std::max(1, std::atoi(argv[++i]));
        } else if (a == "--only" && hasValue) {
            options->only = argv[++i];
        } else if (a == "--no-peers") {
            options->peers = false;
        } else if (a == "--dir" && hasValue) {
            options->dir = QDir(QString::fromLocal8Bit(argv[++i])).absolutePath();
        } else {
            std::fprintf(stderr, "bench_save: unknown argument %s\n\n%s", argv[i], kUsage);
            return 2;
        }
    }
    return -1;
}

std::string FileSystemOf(const QString& dir)
{
    struct statfs info{};
    if (statfs(QFile::encodeName(dir).constData(), &info) != 0) {
        return "unknown";
    }
    return info.f_type == kTmpfsMagic ? "tmpfs (no disk: syncing costs nothing)" : "a disk file system";
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 4 && std::strcmp(argv[1], "--child") == 0) {
        return Child(argv);
    }
    Options options;
    if (const int exitCode = ParseArguments(argc, argv, &options); exitCode >= 0) {
        return exitCode;
    }
    QTemporaryDir temp(QDir::tempPath() + QStringLiteral("/bench_save-XXXXXX"));
    const QString dir = options.dir.isEmpty() ? temp.path() : options.dir;
    QDir().mkpath(dir + QStringLiteral("/in"));
    std::vector<std::vector<std::uint8_t>> stills;
    for (int i = 0; i < kStills; ++i) {
        stills.push_back(MakeStill(i));
    }
    for (int i = 0; i < kEntries; ++i) {
        QFile file(StillPath(dir, i));
        file.open(QIODevice::WriteOnly);
        const auto& s = stills[static_cast<std::size_t>(i % kStills)];
        file.write(reinterpret_cast<const char*>(s.data()), static_cast<qint64>(s.size()));
    }
    const int workers = options.workers > 0 ? options.workers
                                            : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    double stillMb = 0;
    for (const auto& s : stills) {
        stillMb += static_cast<double>(s.size()) / kStills / 1e6;
    }
    std::printf("stills: %d x %d, %d distinct, %.2f MB each; %d workers; %d rounds; writing in %s, on %s\n",
                kStillWidth, kStillHeight, kStills, stillMb, workers, options.rounds, qPrintable(dir),
                FileSystemOf(dir).c_str());
    std::fflush(stdout);

    const std::string self = QFileInfo(QString::fromLocal8Bit(argv[0])).absoluteFilePath().toStdString();
    auto child = [self, dir](const std::string& what) {
        return [self, dir, what] { return RunProcess({self, "--child", what, dir.toStdString()}); };
    };
    const Outcome idle = RunProcess({self, "--child", "idle", dir.toStdString()});

    std::vector<Measurement> all;
    auto add = [&](const std::string& name, std::function<Outcome()> run) {
        if (options.only.empty() || name.find(options.only) != std::string::npos) {
            all.push_back({name, std::move(run), {}});
        }
    };
    const char* resolutionNames[] = {"Standard", "High"};
    const char* formatNames[] = {"JPEG", "TIFF"};
    for (int resolution = 0; resolution < 2; ++resolution) {
        for (int format = 0; format < 2; ++format) {
            const std::string label = std::string(resolutionNames[resolution]) + " " + formatNames[format];
            const std::string suffix = std::to_string(resolution) + "-" + std::to_string(format) + "-" + std::to_string(workers);
            add("ours " + label, child("save-" + suffix));
            add("limit " + label, child("limit-" + suffix));
            if (!options.peers) {
                continue;
            }
            const QString outDir = dir + QStringLiteral("/out-peer");
            const OutputSize size = OutputSizeFor(0, resolution);
            const int w = size.width, h = size.height;
            const std::string geometry = std::to_string(w) + "x" + std::to_string(h);
            const int cut = (kStillHeight - kStillWidth * h / w) / 2;   // rows cut at top and bottom
            const std::string kept = std::to_string(kStillHeight - 2 * cut);
            const std::string crop = "2592x" + kept + "+0+" + std::to_string(cut);
            const std::string extension = format == 0 ? "jpg" : "tif";
            // ImageMagick: crop, bilinear (triangle) resize, encode; one process per file.
            std::vector<std::vector<std::string>> magick;
            for (int i = 0; i < kEntries; ++i) {
                std::vector<std::string> c = {kImageMagick, StillPath(dir, i).toStdString(), "-crop", crop,
                                              "+repage", "-filter", "Triangle", "-resize", geometry + "!"};
                if (format == 0) {
                    c.insert(c.end(), {"-quality", "100", "-sampling-factor", "1x1"});
                } else {
                    c.insert(c.end(), {"-depth", "8", "-compress", "LZW", "-define", "tiff:predictor=2"});
                }
                c.push_back((outDir + QStringLiteral("/%1.").arg(i)).toStdString() + extension);
                magick.push_back(c);
            }
            add("ImageMagick " + label, [=] { return RunPeer(magick, {}, false, outDir); });
            // libvips: shrink-on-load, resize and centre crop to fill, encode.
            const std::string save = format == 0 ? "[Q=100,no_subsample]" : "[compression=lzw,predictor=horizontal]";
            const std::string output = (outDir + QStringLiteral("/%s.")).toStdString() + extension + save;
            auto vips = [=](int first, int count) {
                std::vector<std::string> c = {"/usr/bin/vipsthumbnail", "-s", geometry, "-m", "centre", "-o", output};
                for (int i = first; i < first + count; ++i) {
                    c.push_back(StillPath(dir, i).toStdString());
                }
                return c;
            };
            const std::string threads = "VIPS_CONCURRENCY=" + std::to_string(workers);
            add("libvips thumbnail " + label, [=] { return RunPeer({vips(0, kEntries)}, {threads}, false, outDir); });
            // Two plain vips commands per file: crop, then a linear (bilinear) resize and save.
            std::vector<std::vector<std::string>> steps;
            for (int i = 0; i < kEntries; ++i) {
                const std::string cropped = (outDir + QStringLiteral("/c%1.v").arg(i)).toStdString();
                steps.push_back({"/usr/bin/vips", "crop", StillPath(dir, i).toStdString(), cropped, "0",
                                 std::to_string(cut), "2592", kept});
                steps.push_back({"/usr/bin/vips", "resize", cropped,
                                 (outDir + QStringLiteral("/%1.").arg(i)).toStdString() + extension + save,
                                 std::to_string(w / 2592.0), "--kernel", "linear"});
            }
            add("libvips crop+resize " + label, [=] { return RunPeer(steps, {threads}, false, outDir); });
        }
    }
    add("selection (preview and thumbnail)", child("selection"));
    add("TurboJPEG decode 1/8", child("decode-1/8"));
    add("live frame 1280x960 MJPEG for 648x486", child("live"));
    add("TurboJPEG decode of the live frame at the same scale", child("live-decode"));

    std::mt19937 shuffle(static_cast<unsigned>(std::random_device{}()));
    std::vector<std::size_t> order(all.size());
    for (int round = 1; round <= options.rounds; ++round) {
        for (std::size_t i = 0; i < order.size(); ++i) {
            order[i] = i;
        }
        std::shuffle(order.begin(), order.end(), shuffle);
        for (const std::size_t i : order) {
            all[i].Take();
        }
        std::fprintf(stderr, "round %d of %d done\n", round, options.rounds);
    }

    std::map<std::string, const Measurement*> byName;
    for (const Measurement& m : all) {
        byName[m.name] = &m;
    }
    auto medianOf = [&](const std::string& name) {
        const auto found = byName.find(name);
        return found == byName.end() ? NAN : found->second->MedianMs();
    };
    const double idleMb = idle.maxRssKb / 1024.0;
    std::printf("idle child holding the 12 stills: %.1f MB peak\n\n", idleMb);
    std::printf("%-56s %11s %11s %9s %9s\n", "measurement", "median ms", "MB > idle", "MB/file", "vs limit");
    for (const Measurement& m : all) {
        std::string limit;
        for (const char* prefix : {"ours ", "ImageMagick ", "libvips thumbnail ", "libvips crop+resize "}) {
            if (m.name.rfind(prefix, 0) == 0) {
                limit = "limit " + m.name.substr(std::strlen(prefix));
            }
        }
        const double ratio = limit.empty() ? NAN : m.MedianMs() / medianOf(limit);
        std::printf("%-56s %11.2f %11.1f %9.2f %9.2f%s\n", m.name.c_str(), m.MedianMs(),
                    m.gathered.maxRssKb / 1024.0 - idleMb, m.gathered.bytes / 1e6, ratio,
                    m.gathered.ok ? "" : "  FAILED");
    }

    // Our time against the best peer of each configuration.
    std::printf("\n");
    for (const char* label : {"Standard JPEG", "Standard TIFF", "High JPEG", "High TIFF"}) {
        double best = NAN;
        std::string bestName;
        for (const char* peer : {"ImageMagick ", "libvips thumbnail ", "libvips crop+resize "}) {
            const double t = medianOf(std::string(peer) + label);
            if (!std::isnan(t) && (std::isnan(best) || t < best)) {
                best = t;
                bestName = std::string(peer) + label;
            }
        }
        if (!std::isnan(best)) {
            std::printf("ours %-14s / best peer (%s): %.2f\n", label, bestName.c_str(),
                        medianOf(std::string("ours ") + label) / best);
        }
    }
    const auto bestVips = [&](const std::string& label) {
        return std::fmin(medianOf("libvips thumbnail " + label), medianOf("libvips crop+resize " + label));
    };
    const auto high = byName.find("ours High JPEG");
    const double peakAboveIdle = high == byName.end() ? NAN : high->second->gathered.maxRssKb / 1024.0 - idleMb;
    std::printf("\n");
    const std::pair<const char*, double> summary[] = {
        {"high_jpeg_vs_limit", medianOf("ours High JPEG") / medianOf("limit High JPEG")},
        {"std_jpeg_vs_limit", medianOf("ours Standard JPEG") / medianOf("limit Standard JPEG")},
        {"high_tiff_vs_limit", medianOf("ours High TIFF") / medianOf("limit High TIFF")},
        {"high_jpeg_vs_vips", medianOf("ours High JPEG") / bestVips("High JPEG")},
        {"selection_vs_eighth_decode", medianOf("selection (preview and thumbnail)") / medianOf("TurboJPEG decode 1/8")},
        {"live_vs_same_scale_decode", medianOf("live frame 1280x960 MJPEG for 648x486") /
                                          medianOf("TurboJPEG decode of the live frame at the same scale")},
        {"peak_mb_above_idle_high", peakAboveIdle},
    };
    for (const auto& [key, value] : summary) {
        std::printf("summary %s %.3f\n", key, value);
    }
    return 0;
}
