// Saving 12 entries (Standard and High, JPEG and TIFF), rendering thumbnails and previews, and the
// same work done by ImageMagick and libvips on the same stills in the same run. Every configuration
// runs in a child process so that its peak memory (maxrss) is its own.
//
//   bench_save [--reps N] [--only SUBSTRING] [--no-peers] [--dir KEEP]
#include "images/DecodedStill.h"
#include "images/Encoders.h"
#include "images/OrientationTransform.h"
#include "images/Resampler.h"
#include "images/OutputSize.h"
#include "images/RenderFitted.h"
#include "images/SaveBatch.h"
#include "images/SaveImageFile.h"
#include "images/TiffWriter.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>

#include <tiffio.h>
#include <turbojpeg.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace vistrel;

namespace {

constexpr int kStillWidth = 2592, kStillHeight = 1944, kEntries = 12, kStills = 4;
constexpr const char* kImageMagick = "/usr/bin/convert-im6.q16";

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

// ---- child side: one configuration, samples in milliseconds on stdout ----

void Sample(double ms)
{
    std::printf("sample %.4f\n", ms);
}

int ChildSave(const QString& dir, int resolution, int format, int workers, int reps)
{
    std::vector<std::shared_ptr<const std::vector<std::uint8_t>>> stills;
    for (int i = 0; i < kEntries; ++i) {
        stills.push_back(std::make_shared<const std::vector<std::uint8_t>>(ReadFile(StillPath(dir, i))));
    }
    const QString out = dir + QStringLiteral("/out-ours");
    std::uint64_t written = 0;
    for (int rep = 0; rep < reps; ++rep) {
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
        for (const auto& r : batch.Results()) {
            if (Failed(r.result)) {
                std::fprintf(stderr, "save failed: %s\n", qPrintable(r.reason));
                return 1;
            }
            written += static_cast<std::uint64_t>(QFileInfo(r.path).size());
        }
    }
    std::printf("bytes %.1f\n", static_cast<double>(written) / reps / kEntries);
    return 0;
}

int ChildRender(const QString& dir, int outW, int outH, int reps)
{
    const auto still = ReadFile(StillPath(dir, 0));
    QImage image;
    for (int i = 0; i < 3; ++i) {   // warm the decoder and caches
        RenderFitted(still.data(), static_cast<std::int32_t>(still.size()), kStillWidth, kStillHeight, outW, outH, 0, 0, &image);
    }
    for (int rep = 0; rep < reps * 20; ++rep) {
        const double start = NowMs();
        RenderFitted(still.data(), static_cast<std::int32_t>(still.size()), kStillWidth, kStillHeight, outW, outH,
                     rep % 2, rep % 4, &image);
        Sample(NowMs() - start);
    }
    return image.isNull() ? 1 : 0;
}

// The yardstick: a plain TurboJPEG decode at 1/denominator scale, header read and buffer allocated
// per call as a renderer must.
int ChildDecode(const QString& dir, int denominator, int reps)
{
    const auto still = ReadFile(StillPath(dir, 0));
    const std::unique_ptr<void, int (*)(tjhandle)> decoder(tjInitDecompress(), tjDestroy);
    const tjscalingfactor factor{1, denominator};
    for (int rep = -3; rep < reps * 20; ++rep) {
        const double start = NowMs();
        int w = 0, h = 0, s = 0, c = 0;
        tjDecompressHeader3(decoder.get(), still.data(), still.size(), &w, &h, &s, &c);
        const int sw = TJSCALED(w, factor), sh = TJSCALED(h, factor);
        auto pixels = std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(sw) * sh * 4);
        tjDecompress2(decoder.get(), still.data(), still.size(), pixels.get(), sw, sw * 4, sh, TJPF_BGRX, 0);
        if (rep >= 0) {
            Sample(NowMs() - start);
        }
    }
    return 0;
}

// The encoder alone: 5184 x 3480 at quality 100, 4:4:4.
int ChildEncode(int reps)
{
    const int w = 5184, h = 3480;
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(w) * h * 4);
    const auto still = MakeStill(0);
    QImage source;
    RenderFitted(still.data(), static_cast<std::int32_t>(still.size()), kStillWidth, kStillHeight, w, h, 0, 0, &source);
    const std::unique_ptr<void, int (*)(tjhandle)> encoder(tjInitCompress(), tjDestroy);
    for (int rep = 0; rep < reps; ++rep) {
        unsigned char* jpeg = nullptr;
        unsigned long size = 0;
        const double start = NowMs();
        tjCompress2(encoder.get(), source.constBits(), w, static_cast<int>(source.bytesPerLine()), h, TJPF_BGRX, &jpeg,
                    &size, TJSAMP_444, 100, 0);
        Sample(NowMs() - start);
        tjFree(jpeg);
    }
    return 0;
}

// One High bitmap written with each TIFF compression: time and size decide the default.
int ChildTiff(const QString& dir, const std::string& which, int reps)
{
    static const std::map<std::string, TiffOptions> options = {
        {"none", {COMPRESSION_NONE, PREDICTOR_NONE, 0}},
        {"lzw", {COMPRESSION_LZW, PREDICTOR_NONE, 0}},
        {"lzw+pred", {COMPRESSION_LZW, PREDICTOR_HORIZONTAL, 0}},
        {"deflate1+pred", {COMPRESSION_ADOBE_DEFLATE, PREDICTOR_HORIZONTAL, 1}},
        {"deflate6+pred", {COMPRESSION_ADOBE_DEFLATE, PREDICTOR_HORIZONTAL, 6}},
        {"deflate9+pred", {COMPRESSION_ADOBE_DEFLATE, PREDICTOR_HORIZONTAL, 9}},
    };
    const auto still = ReadFile(StillPath(dir, 0));
    QImage bitmap;
    RenderFitted(still.data(), static_cast<std::int32_t>(still.size()), kStillWidth, kStillHeight, 5184, 3480, 0, 0, &bitmap);
    const PixelView view{bitmap.constBits(), bitmap.width(), bitmap.height(), static_cast<std::int32_t>(bitmap.bytesPerLine())};
    double bytes = 0;
    for (int rep = 0; rep < reps; ++rep) {
        QFile file(dir + QStringLiteral("/tiff-%1.tif").arg(QString::fromStdString(which)));
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        QString reason;
        const double start = NowMs();
        WriteTiff(view, {LocalTimeNow(), 3658}, file, options.at(which), &reason);
        file.flush();
        Sample(NowMs() - start);
        bytes = static_cast<double>(file.size());
    }
    std::printf("bytes %.1f\n", bytes);
    return 0;
}

// The stages of one High JPEG save as a save worker runs them, with its reused buffers: decode,
// orient and scale, encode (into the file), flush to the disk.
int ChildStages(const QString& dir, int rotation, int reps)
{
    const auto still = ReadFile(StillPath(dir, 0));
    const int boxW = rotation % 2 ? 3480 : 5184, boxH = rotation % 2 ? 5184 : 3480;
    const int rotW = rotation % 2 ? kStillHeight : kStillWidth, rotH = rotation % 2 ? kStillWidth : kStillHeight;
    const double c = rotation % 2 ? -148 : 102;
    SaveScratch scratch;
    std::vector<double> decode, resample, encode, write;
    for (int rep = 0; rep < reps; ++rep) {
        double t = NowMs();
        DecodedStill decoded;
        QString reason;
        DecodeStill(still.data(), static_cast<std::int32_t>(still.size()), kStillWidth, kStillHeight, 0, 0, &decoded,
                    &reason, &scratch.decoded);
        decode.push_back(NowMs() - t);
        t = NowMs();
        std::uint8_t* pixels = scratch.output.Reserve(static_cast<std::size_t>(boxW) * boxH * 4);
        ResampleOriented({decoded.pixels, decoded.width, decoded.height, decoded.stride},
                         OrientationTransform(0, rotation), {0.0, c, double(rotW), rotH - 2 * c},
                         {pixels, boxW, boxH, boxW * 4}, {0, 0, boxW, boxH});
        resample.push_back(NowMs() - t);
        QFile file(dir + QStringLiteral("/stages.jpg"));
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        t = NowMs();
        EncodeJpeg({pixels, boxW, boxH, boxW * 4}, {LocalTimeNow(), 3658}, file, &reason, &scratch.encoded);
        file.flush();
        encode.push_back(NowMs() - t);
        t = NowMs();
        ::fsync(file.handle());
        write.push_back(NowMs() - t);
    }
    std::printf("stage decode %.2f resample %.2f encode %.2f fsync %.2f\n", Median(decode), Median(resample),
                Median(encode), Median(write));
    return 0;
}

int Child(char** argv)
{
    const QString dir = QString::fromLocal8Bit(argv[3]);
    const int reps = std::atoi(argv[4]);
    const std::string what = argv[2];
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (what == "idle") {
        std::vector<std::vector<std::uint8_t>> stills;
        for (int i = 0; i < kEntries; ++i) {
            stills.push_back(ReadFile(StillPath(dir, i)));
        }
        Sample(0);
        return 0;
    }
    int resolution = 0, format = 0, workers = 0;
    if (std::sscanf(what.c_str(), "save-%d-%d-%d", &resolution, &format, &workers) == 3) {
        return ChildSave(dir, resolution, format, workers, reps);
    }
    int w = 0, h = 0;
    if (std::sscanf(what.c_str(), "render-%dx%d", &w, &h) == 2) {
        return ChildRender(dir, w, h, reps);
    }
    int denominator = 0;
    if (std::sscanf(what.c_str(), "decode-1/%d", &denominator) == 1) {
        return ChildDecode(dir, denominator, reps);
    }
    int rotation = 0;
    if (std::sscanf(what.c_str(), "stages-%d", &rotation) == 1) {
        return ChildStages(dir, rotation, reps);
    }
    if (what == "encode") {
        return ChildEncode(reps);
    }
    if (what.rfind("tiff-", 0) == 0) {
        return ChildTiff(dir, what.substr(5), reps);
    }
    std::fprintf(stderr, "unknown configuration %s\n", what.c_str());
    return 2;
}

// ---- parent side ----

struct Outcome
{
    std::vector<double> samples;
    std::vector<double> cpuMs;   // user + system time per repetition
    double bytes = 0;
    long maxRssKb = 0;
    bool ok = true;
};

double CpuMs(const rusage& usage)
{
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

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
    outcome.cpuMs.push_back(CpuMs(usage));
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
        } else if (line.rfind("stage ", 0) == 0) {
            std::printf("  %s\n", line.c_str());
        }
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return outcome;
}

// Several processes per repetition (a peer tool run per file or in parallel); wall time of the
// whole repetition, the largest maxrss of any of them.
Outcome RunPeer(const std::vector<std::vector<std::string>>& commands, const std::vector<std::string>& environment,
                int reps, bool parallel, const QString& outDir)
{
    Outcome total;
    for (int rep = 0; rep < reps; ++rep) {
        ClearFolder(outDir);
        double cpu = 0;
        const double start = NowMs();
        if (parallel) {
            std::vector<std::thread> threads;
            std::vector<Outcome> outcomes(commands.size());
            for (std::size_t i = 0; i < commands.size(); ++i) {
                threads.emplace_back([&, i] { outcomes[i] = RunProcess(commands[i], environment); });
            }
            for (auto& t : threads) {
                t.join();
            }
            for (const auto& o : outcomes) {
                total.maxRssKb = std::max(total.maxRssKb, o.maxRssKb);
                total.ok = total.ok && o.ok;
                cpu += o.cpuMs.front();
            }
        } else {
            for (const auto& command : commands) {
                const Outcome o = RunProcess(command, environment);
                total.maxRssKb = std::max(total.maxRssKb, o.maxRssKb);
                total.ok = total.ok && o.ok;
                cpu += o.cpuMs.front();
            }
        }
        total.samples.push_back(NowMs() - start);
        total.cpuMs.push_back(cpu);
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

struct Row
{
    std::string name;
    Outcome outcome;
    double perItemDivisor = 1;
};

// Our own children report the CPU time of all their repetitions at once.
double CpuPerRepetition(const Outcome& outcome, int reps, bool ours)
{
    return ours ? outcome.cpuMs.front() / reps : Median(outcome.cpuMs);
}

void PrintRow(const Row& row, long idleKb, double cpuMs = NAN)
{
    const double median = Median(row.outcome.samples);
    std::printf("%-58s %10.2f ms %9.2f ms/item %9.0f ms cpu %7.1f MB peak %7.1f MB above idle %6.2f MB/file%s\n",
                row.name.c_str(), median, median / row.perItemDivisor, cpuMs, row.outcome.maxRssKb / 1024.0,
                (row.outcome.maxRssKb - idleKb) / 1024.0, row.outcome.bytes / 1e6, row.outcome.ok ? "" : "  FAILED");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 5 && std::strcmp(argv[1], "--child") == 0) {
        return Child(argv);
    }
    int reps = 3;
    bool peers = true;
    std::string only;
    QString keep;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--reps") == 0 && i + 1 < argc) {
            reps = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) {
            only = argv[++i];
        } else if (std::strcmp(argv[i], "--no-peers") == 0) {
            peers = false;
        } else if (std::strcmp(argv[i], "--dir") == 0 && i + 1 < argc) {
            keep = QString::fromLocal8Bit(argv[++i]);   // work here and keep the stills
        }
    }
    QTemporaryDir temp(QDir::tempPath() + QStringLiteral("/bench_save-XXXXXX"));
    const QString dir = keep.isEmpty() ? temp.path() : QDir(keep).absolutePath();
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
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    std::printf("stills: %d x %d, %d distinct, %.2f MB each on average; %u cores; %d repetitions\n", kStillWidth,
                kStillHeight, kStills, [&] { double t = 0; for (auto& s : stills) t += s.size(); return t / kStills / 1e6; }(),
                cores, reps);

    const std::string self = QFileInfo(QString::fromLocal8Bit(argv[0])).absoluteFilePath().toStdString();
    auto ours = [&](const std::string& config, int childReps) {
        return RunProcess({self, "--child", config, dir.toStdString(), std::to_string(childReps)});
    };
    auto wanted = [&](const std::string& name) { return only.empty() || name.find(only) != std::string::npos; };

    const Outcome idle = ours("idle", 1);
    std::printf("%-44s %48.1f MB peak (child holding the 12 stills)\n", "idle child", idle.maxRssKb / 1024.0);
    std::printf("%-44s %13s %16s %13s %23s %14s\n", "configuration", "median", "per item", "", "", "file size");

    const char* resolutionNames[] = {"Standard 2592x1744", "High 5184x3480"};
    const char* formatNames[] = {"JPEG", "TIFF"};
    const OutputSize sizes[] = {OutputSizeFor(0, 0), OutputSizeFor(0, 1)};
    for (int resolution = 0; resolution < 2; ++resolution) {
        for (int format = 0; format < 2; ++format) {
            const std::string label = std::string(resolutionNames[resolution]) + " " + formatNames[format];
            if (!wanted(label)) {
                continue;
            }
            for (const int workers : {static_cast<int>(cores), 1}) {
                const std::string config = "save-" + std::to_string(resolution) + "-" + std::to_string(format) + "-" +
                                           std::to_string(workers);
                const Outcome o = ours(config, reps);
                PrintRow({"ours 12x " + label + " " + std::to_string(workers) + "w", o, kEntries}, idle.maxRssKb,
                         CpuPerRepetition(o, reps, true));
            }
            if (!peers) {
                continue;
            }
            const QString outDir = dir + QStringLiteral("/out-peer");
            const int w = sizes[resolution].width, h = sizes[resolution].height;
            const std::string geometry = std::to_string(w) + "x" + std::to_string(h);
            const int cut = (kStillHeight - kStillWidth * h / w) / 2;   // rows cut at top and bottom
            const std::string kept = std::to_string(kStillHeight - 2 * cut);
            const std::string crop = "2592x" + kept + "+0+" + std::to_string(cut);
            // ImageMagick: crop the 100 rows, bilinear (triangle) resize, encode; one process per file.
            std::vector<std::vector<std::string>> magick;
            for (int i = 0; i < kEntries; ++i) {
                std::vector<std::string> c = {kImageMagick, StillPath(dir, i).toStdString(), "-crop", crop,
                                              "+repage", "-filter", "Triangle", "-resize", geometry + "!"};
                if (format == 0) {
                    c.insert(c.end(), {"-quality", "100", "-sampling-factor", "1x1"});
                } else {
                    c.insert(c.end(), {"-depth", "8", "-compress", "LZW", "-define", "tiff:predictor=2"});
                }
                c.push_back((outDir + QStringLiteral("/%1.%2").arg(i).arg(format == 0 ? "jpg" : "tif")).toStdString());
                magick.push_back(c);
            }
            auto peerRow = [&](const std::string& name, const Outcome& o) {
                PrintRow({name, o, kEntries}, idle.maxRssKb, Median(o.cpuMs));
            };
            peerRow("ImageMagick 12x " + label, RunPeer(magick, {}, reps, false, outDir));
            // libvips: shrink-on-load, resize and centre crop to fill, encode.
            const std::string save = format == 0 ? "[Q=100,no_subsample]" : "[compression=lzw,predictor=horizontal]";
            const std::string output = (outDir + QStringLiteral("/%s.")).toStdString() + (format == 0 ? "jpg" : "tif") + save;
            auto vips = [&](int first, int count) {
                std::vector<std::string> c = {"/usr/bin/vipsthumbnail", "-s", geometry, "-m", "centre", "-o", output};
                for (int i = first; i < first + count; ++i) {
                    c.push_back(StillPath(dir, i).toStdString());
                }
                return c;
            };
            peerRow("libvips 12x " + label + " 1 proc, 2 threads", RunPeer({vips(0, kEntries)}, {"VIPS_CONCURRENCY=2"}, reps, false, outDir));
            // The same as two plain vips commands per file: crop, then a linear (bilinear) resize and save.
            std::vector<std::vector<std::string>> steps;
            for (int i = 0; i < kEntries; ++i) {
                const std::string cropped = (outDir + QStringLiteral("/c%1.v").arg(i)).toStdString();
                steps.push_back({"/usr/bin/vips", "crop", StillPath(dir, i).toStdString(), cropped, "0", std::to_string(cut), "2592", kept});
                steps.push_back({"/usr/bin/vips", "resize", cropped,
                                 (outDir + QStringLiteral("/%1.").arg(i)).toStdString() + (format == 0 ? "jpg" : "tif") + save,
                                 std::to_string(w / 2592.0), "--kernel", "linear"});
            }
            peerRow("libvips 12x " + label + " crop+resize linear, 2 threads", RunPeer(steps, {"VIPS_CONCURRENCY=2"}, reps, false, outDir));
            peerRow("libvips 12x " + label + " 2 procs x 1 thread",
                    RunPeer({vips(0, kEntries / 2), vips(kEntries / 2, kEntries / 2)}, {"VIPS_CONCURRENCY=1"}, reps, true, outDir));
        }
    }

    if (wanted("render") || wanted("decode")) {
        const Row rows[] = {
            {"TurboJPEG decode 1/8 (yardstick)", ours("decode-1/8", reps)},
            {"ours thumbnail 88x62", ours("render-88x62", reps)},
            {"TurboJPEG decode 1/4", ours("decode-1/4", reps)},
            {"ours preview 313x197", ours("render-313x197", reps)},
            {"ours preview 720x486", ours("render-720x486", reps)},
            {"TurboJPEG decode 1/1", ours("decode-1/1", reps)},
        };
        for (const Row& row : rows) {
            PrintRow(row, idle.maxRssKb);
        }
        std::printf("thumbnail / 1/8 decode = %.3f\n", Median(rows[1].outcome.samples) / Median(rows[0].outcome.samples));
        if (peers) {
            const QString outDir = dir + QStringLiteral("/out-peer");
            PrintRow({"libvips thumbnail 88x62 (process per still)",
                      RunPeer({{"/usr/bin/vipsthumbnail", "-s", "88x62", "-o", (outDir + "/%s.ppm").toStdString(),
                                StillPath(dir, 0).toStdString()}}, {}, reps * 5, false, outDir)}, idle.maxRssKb);
            PrintRow({"ImageMagick thumbnail 88x62 (process per still)",
                      RunPeer({{kImageMagick, "-define", "jpeg:size=176x124", StillPath(dir, 0).toStdString(), "-thumbnail",
                                "88x62", "-background", "black", "-gravity", "center", "-extent", "88x62",
                                (outDir + "/t.ppm").toStdString()}}, {}, reps * 5, false, outDir)}, idle.maxRssKb);
        }
    }
    if (wanted("stages")) {
        PrintRow({"stages of one High JPEG save, no turn", ours("stages-0", reps * 2)}, idle.maxRssKb);
        PrintRow({"stages of one High JPEG save, quarter turn", ours("stages-1", reps * 2)}, idle.maxRssKb);
    }
    if (wanted("encode")) {
        PrintRow({"TurboJPEG encode 5184x3480 q100 4:4:4", ours("encode", reps)}, idle.maxRssKb);
    }
    if (wanted("tiff")) {
        for (const char* which : {"none", "lzw", "lzw+pred", "deflate1+pred", "deflate6+pred", "deflate9+pred"}) {
            PrintRow({std::string("TIFF High writer ") + which, ours(std::string("tiff-") + which, reps)}, idle.maxRssKb);
        }
    }
    return 0;
}
