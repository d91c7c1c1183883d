// korvane-image-server: publishes sealed application images on 127.0.0.1 for the program's
// start-up, with faults on command. Prints its base URL as the first line of stdout.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "sim/image_server/demo_images.h"
#include "sim/image_server/image_server.h"
#include "sim/image_server/termination.h"
#include "platform/file_replace.h"

namespace {

using korvane::sim::ServeFault;

constexpr char kUsage[] =
    "usage: korvane-image-server [options]\n"
    "  --port N              listen on 127.0.0.1:N (default 0: a free port)\n"
    "  --tls                 HTTPS with a certificate for 127.0.0.1 from a CA made at start\n"
    "  --ca-out FILE         write that CA certificate (PEM) to FILE, for KORVANE_CA_FILE\n"
    "  --config-dir DIR      seal the images with DIR's RSA keys and write URL_A, MD5_1 and\n"
    "                        MD5_2 into DIR/DevPath.ini; --main/--second then name unwrapped\n"
    "                        images (128-byte header + payload), else two samples are made\n"
    "  --enable              with --config-dir: also set DownloadApp=1\n"
    "  --main FILE           the main image (an envelope unless --config-dir is given)\n"
    "  --second FILE         the second image (likewise)\n"
    "  --one-image           with --config-dir: publish the main image alone\n"
    "  --list TEXT           answer the image list with TEXT (for example 0)\n"
    "  --fault WHAT=KIND     WHAT: list, main, second; KIND: 404, no-length, drop, slow, short\n"
    "  --slow-ms MS          delay of a slow answer (default 5000)\n";

struct Options {
    int port = 0;
    bool tls = false;
    std::string caOut;
    std::string configDir;
    bool enable = false;
    bool oneImage = false;
    std::string mainFile;
    std::string secondFile;
    std::string listAnswer;
    std::vector<std::pair<std::string, ServeFault>> faults;
    int slowMs = 5000;
};

// Served files are images of at most 1 MiB; a larger one is served too, to test refusals.
constexpr size_t kMaxServedSize = 64u << 20;

bool ReadFile(const std::string& path, std::string& bytes) {
    korvane::FileContents contents = korvane::ReadWholeFile(path, kMaxServedSize);
    bytes = std::move(contents.bytes);
    return contents.status == korvane::FileContents::kRead;
}

bool ParseFault(const std::string& text, std::pair<std::string, ServeFault>& fault) {
    const size_t equals = text.find('=');
    if (equals == std::string::npos) {
        return false;
    }
    const std::string what = text.substr(0, equals);
    const std::string kind = text.substr(equals + 1);
    if (what == "list") {
        fault.first = korvane::sim::kImageListPath;
    } else if (what == "main") {
        fault.first = korvane::sim::kMainImagePath;
    } else if (what == "second") {
        fault.first = korvane::sim::kSecondImagePath;
    } else {
        return false;
    }
    static const std::pair<const char*, ServeFault> kKinds[] = {
        {"404", ServeFault::kNotFound},      {"no-length", ServeFault::kNoContentLength},
        {"drop", ServeFault::kDropConnection}, {"slow", ServeFault::kSlowAnswer},
        {"short", ServeFault::kShortBody}};
    for (const auto& [name, value] : kKinds) {
        if (kind == name) {
            fault.second = value;
            return true;
        }
    }
    return false;
}

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--tls") {
            options.tls = true;
        } else if (arg == "--enable") {
            options.enable = true;
        } else if (arg == "--one-image") {
            options.oneImage = true;
        } else if (!hasValue) {
            return false;
        } else if (arg == "--port") {
            options.port = std::atoi(argv[++i]);
        } else if (arg == "--ca-out") {
            options.caOut = argv[++i];
        } else if (arg == "--config-dir") {
            options.configDir = argv[++i];
        } else if (arg == "--main") {
            options.mainFile = argv[++i];
        } else if (arg == "--second") {
            options.secondFile = argv[++i];
        } else if (arg == "--list") {
            options.listAnswer = argv[++i];
        } else if (arg == "--slow-ms") {
            options.slowMs = std::atoi(argv[++i]);
        } else if (arg == "--fault") {
            std::pair<std::string, ServeFault> fault;
            if (!ParseFault(argv[++i], fault)) {
                return false;
            }
            options.faults.push_back(fault);
        } else {
            return false;
        }
    }
    return options.port >= 0 && options.port <= 65535;
}

bool MakeTlsIdentity(const Options& options, korvane::sim::PemIdentity& server, std::string& error) {
    korvane::sim::PemIdentity authority;
    if (!korvane::sim::MakeAuthority("Korvane image server test CA", authority, error) ||
        !korvane::sim::IssueServerCertificate(authority, {"IP:127.0.0.1", "DNS:localhost"}, server, error)) {
        return false;
    }
    if (!options.caOut.empty()) {
        std::ofstream out(options.caOut, std::ios::binary | std::ios::trunc);
        out << authority.certificate;
        if (!out) {
            error = "cannot write " + options.caOut;
            return false;
        }
    }
    return true;
}

// The images of the demo: the files given (unwrapped), or two samples.
bool LoadDemoImages(const Options& options, korvane::sim::DemoImages& images, std::string& error) {
    std::string bytes;
    if (!options.mainFile.empty()) {
        if (!ReadFile(options.mainFile, bytes)) {
            error = "cannot read " + options.mainFile;
            return false;
        }
        images.main.assign(bytes.begin(), bytes.end());
    } else {
        images.main = korvane::sim::MakeSampleImage("MainApp sample", 48 * 1024);
    }
    if (options.oneImage) {
        return true;
    }
    if (!options.secondFile.empty()) {
        if (!ReadFile(options.secondFile, bytes)) {
            error = "cannot read " + options.secondFile;
            return false;
        }
        images.second.assign(bytes.begin(), bytes.end());
    } else {
        images.second = korvane::sim::MakeSampleImage("SecondApp sample", 16 * 1024);
    }
    return true;
}

bool PublishEnvelopes(const Options& options, korvane::sim::ImageServer& server, std::string& error) {
    std::string mainEnvelope;
    std::string secondEnvelope;
    if ((!options.mainFile.empty() && !ReadFile(options.mainFile, mainEnvelope)) ||
        (!options.secondFile.empty() && !ReadFile(options.secondFile, secondEnvelope))) {
        error = "cannot read an image file";
        return false;
    }
    server.PublishImages(mainEnvelope, secondEnvelope, options.listAnswer);
    return true;
}

bool Publish(const Options& options, korvane::sim::ImageServer& server, std::string& error) {
    if (options.configDir.empty()) {
        return PublishEnvelopes(options, server, error);
    }
    korvane::sim::DemoImages images;
    if (!LoadDemoImages(options, images, error) ||
        !korvane::sim::PublishDemoImages(server, options.configDir, images, options.enable, error)) {
        return false;
    }
    if (!options.listAnswer.empty()) {
        server.Serve(korvane::sim::kImageListPath, options.listAnswer);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        std::cout << kUsage;
        return 0;
    }
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::cerr << kUsage;
        return 2;
    }
    korvane::sim::PrepareTerminationWait();
    std::string error;
    korvane::sim::PemIdentity identity;
    if (options.tls && !MakeTlsIdentity(options, identity, error)) {
        std::cerr << "korvane-image-server: " << error << "\n";
        return 1;
    }
    korvane::sim::ImageServer server;
    if (!server.Start(static_cast<uint16_t>(options.port), options.tls ? &identity : nullptr, error) ||
        !Publish(options, server, error)) {
        std::cerr << "korvane-image-server: " << error << "\n";
        return 1;
    }
    server.SetSlowAnswerMs(options.slowMs);
    for (const auto& [path, fault] : options.faults) {
        server.SetFault(path, fault);
    }
    std::cout << server.BaseUrl() << std::endl;
    std::cerr << "korvane-image-server: image list at " << server.BaseUrl() << korvane::sim::kImageListPath
              << "; Ctrl-C ends\n";
    korvane::sim::WaitForTermination();
    server.Stop();
    return 0;
}
