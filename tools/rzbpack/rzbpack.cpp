// rzbpack: writes RZB packages for the simulated engine and shows what any file holds.
//
//   rzbpack make <out.rzb> --format <13..18> [--old-magic] --model <name> --version <text>
//                (--payload <file> | --payload-size <bytes> [--seed <n>])
//   rzbpack show <file>
//
// Texts are taken as the reader will find them: on Windows converted to the ANSI code page,
// elsewhere written as given. "show" reads the header with the program's own reader.
#include "download/package_format.h"
#include "payload_format.h"
#include "rzb_writer.h"

#if defined(_WIN32)
#include "download/package_header.h"
#include "text/code_page.h"
#endif

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace tarnvel;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

FilePtr Open(const std::string& utf8Path, const char* mode) {
#if defined(_WIN32)
    const std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
    return FilePtr(_wfopen(WideFromUtf8(utf8Path).c_str(), wideMode.c_str()));
#else
    return FilePtr(std::fopen(utf8Path.c_str(), mode));
#endif
}

// A command-line text as the package stores it.
std::string StoredText(const std::string& utf8) {
#if defined(_WIN32)
    return CodePage936FromWide(WideFromUtf8(utf8));
#else
    return utf8;
#endif
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "rzbpack: %s\n", message.c_str());
    return 2;
}

int Usage() {
    return Fail(
        "usage: rzbpack make <out.rzb> --format <13..18> [--old-magic] --model <name> --version <text> "
        "(--payload <file> | --payload-size <bytes> [--seed <n>])\n       rzbpack show <file>");
}

// Streams the payload twice (checksum, then copy), so payloads of any size work.
class PayloadSource {
public:
    virtual ~PayloadSource() = default;
    virtual bool Rewind() = 0;
    virtual std::size_t Read(std::uint8_t* bytes, std::size_t count) = 0;
};

class FileSource final : public PayloadSource {
public:
    explicit FileSource(FilePtr file) : file_(std::move(file)) {}
    bool Rewind() override { return std::fseek(file_.get(), 0, SEEK_SET) == 0; }
    std::size_t Read(std::uint8_t* bytes, std::size_t count) override {
        return std::fread(bytes, 1, count, file_.get());
    }

private:
    FilePtr file_;
};

class GeneratedSource final : public PayloadSource {
public:
    GeneratedSource(std::uint64_t size, std::uint64_t seed) : size_(size), seed_(seed), generator_(seed) {}
    bool Rewind() override {
        generator_ = sim::PayloadGenerator(seed_);
        left_ = size_;
        return true;
    }
    std::size_t Read(std::uint8_t* bytes, std::size_t count) override {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, left_));
        generator_.Fill(std::span(bytes, n));
        left_ -= n;
        return n;
    }

private:
    std::uint64_t size_, seed_, left_ = 0;
    sim::PayloadGenerator generator_;
};

int Make(const std::vector<std::string>& args) {
    if (args.size() < 2)
        return Usage();
    const std::string out = args[1];
    rzb::PackageFields fields;
    bool haveFormat = false, haveModel = false, haveVersion = false;
    std::string payloadPath;
    long long payloadSize = -1;
    unsigned long long seed = 1;
    for (std::size_t i = 2; i < args.size(); ++i) {
        const std::string& option = args[i];
        if (option == "--old-magic") {
            fields.oldMagic = true;
            continue;
        }
        if (i + 1 >= args.size())
            return Usage();
        const std::string& value = args[++i];
        if (option == "--format") {
            fields.formatVersion = std::atoi(value.c_str());
            haveFormat = true;
        } else if (option == "--model") {
            fields.modelBytes = StoredText(value);
            haveModel = true;
        } else if (option == "--version") {
            fields.versionBytes = StoredText(value);
            haveVersion = true;
        } else if (option == "--payload") {
            payloadPath = value;
        } else if (option == "--payload-size") {
            payloadSize = std::atoll(value.c_str());
        } else if (option == "--seed") {
            seed = std::strtoull(value.c_str(), nullptr, 10);
        } else {
            return Usage();
        }
    }
    if (!haveFormat || !haveModel || !haveVersion || (payloadPath.empty() == (payloadSize < 0)))
        return Usage();
    std::unique_ptr<PayloadSource> source;
    if (!payloadPath.empty()) {
        FilePtr file = Open(payloadPath, "rb");
        if (!file)
            return Fail("cannot read payload " + payloadPath);
        source = std::make_unique<FileSource>(std::move(file));
    } else {
        source = std::make_unique<GeneratedSource>(static_cast<std::uint64_t>(payloadSize), seed);
    }
    std::vector<std::uint8_t> buffer(1 << 20);
    std::uint64_t size = 0;
    std::uint32_t crc = 0;
    source->Rewind();
    for (std::size_t n; (n = source->Read(buffer.data(), buffer.size())) > 0; size += n)
        crc = sim::Crc32(crc, std::span(buffer.data(), n));
    std::string error;
    const auto head = rzb::BuildPackageHead(fields, size, crc, error);
    if (head.empty())
        return Fail(error);
    FilePtr target = Open(out, "wb");
    if (!target)
        return Fail("cannot write " + out);
    bool ok = std::fwrite(head.data(), 1, head.size(), target.get()) == head.size() && source->Rewind();
    for (std::size_t n; ok && (n = source->Read(buffer.data(), buffer.size())) > 0;)
        ok = std::fwrite(buffer.data(), 1, n, target.get()) == n;
    if (!ok || std::fflush(target.get()) != 0)
        return Fail("writing " + out + " failed");
    std::printf("wrote %s: format %d, payload %llu bytes, crc32 %08x\n", out.c_str(), fields.formatVersion,
                static_cast<unsigned long long>(size), crc);
    return 0;
}

int Show(const std::vector<std::string>& args) {
    if (args.size() != 2)
        return Usage();
    FilePtr file = Open(args[1], "rb");
    if (!file)
        return Fail("cannot read " + args[1]);
    std::vector<std::uint8_t> head(1024);
    head.resize(std::fread(head.data(), 1, head.size(), file.get()));
    const auto layout = LayoutOfHeader(head);
    if (!layout) {
        std::printf("not an RZB package\n");
        return 1;
    }
#if defined(_WIN32)
    const std::wstring path = WideFromUtf8(args[1]);
    std::wstring model, version;
    ReadPackageModel(path, model);
    ReadPackageVersion(path, version);
    const std::string modelText = Utf8FromWide(model), versionText = Utf8FromWide(version);
#else
    const std::string modelText(PackageModelBytes(*layout, head));
    const std::string versionText(PackageVersionBytes(*layout, head));
#endif
    std::printf("format: %d\nmodel: %s\nversion: %s\n", layout->formatVersion, modelText.c_str(),
                versionText.c_str());
    if (head.size() >= layout->blockLength + sim::kDescriptorSize) {
        if (const auto d = sim::DecodeDescriptor(std::span(head).subspan(layout->blockLength))) {
            std::printf("payload: %llu bytes at %llu, crc32 %08x\n",
                        static_cast<unsigned long long>(d->payloadSize),
                        static_cast<unsigned long long>(d->payloadOffset), d->payloadCrc);
        }
    }
    return 0;
}

int Run(const std::vector<std::string>& args) {
    if (args.empty())
        return Usage();
    if (args[0] == "make")
        return Make(args);
    if (args[0] == "show")
        return Show(args);
    return Usage();
}

} // namespace

#if defined(_WIN32)
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.push_back(Utf8FromWide(argv[i]));
    return Run(args);
}
#else
int main(int argc, char** argv) {
    return Run(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
