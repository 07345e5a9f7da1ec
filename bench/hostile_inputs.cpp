// Measures what one hostile input costs the engine: the driver makes the input (the tests'
// generators, tests/hostile), runs the one engine call a load or save makes with it and prints
// the wall time. Run it under /usr/bin/time -v for the peak memory:
//
//   /usr/bin/time -v build/release/bench/hostile_inputs jpeg-scans 20000
//
// Cases: records-linebreaks MB, records-0x80 MB, lines-entries LINES ENTRIES, jpeg-scans N [W H],
// jpeg-declared [W H SCANS], emf-rle N, emf-ellipses N, emf-text RECORDS GLYPHS PIXELS,
// emf-polyline POINTS WIDTH, icon-entries N, png-texts N, save MB (a project with a facade of MB
// megabytes saved over an existing one).

#include "HostileFiles.h"

#include "elements/PictureFiles.h"
#include "project/ProjectArchive.h"
#include "project/RecordFile.h"
#include "raster/Bitmap32.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace schauplatz;
namespace fs = std::filesystem;

std::string g_folder;

void writeFile(const std::string& path, const hostile::Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// Makes the input in a child process, so that this process's peak memory is the engine
// call's own.
void makeApart(const std::function<void()>& make) {
    const pid_t child = ::fork();
    if (child == 0) {
        make();
        std::fflush(stdout);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
}

// Runs the engine call and prints its wall time and the process's peak memory.
template <typename Call>
std::string timed(Call call) {
    const auto start = std::chrono::steady_clock::now();
    std::string result = call();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("engine call: %.3f s, peak memory %.1f MB\n", seconds, usage.ru_maxrss / 1024.0);
    return result;
}

int argument(int argc, char** argv, int index, int fallback) {
    return argc > index ? std::atoi(argv[index]) : fallback;
}

// Reads a picture as a load reads each one.
std::string readPicture(const std::string& path) {
    TBitmap32 picture;
    ReadPictureFile(picture, path);
    return std::to_string(picture.Width()) + " x " + std::to_string(picture.Height());
}

std::string unpack(const std::string& archive, bool lookUpEveryLine) {
    TZipArchive zip;
    zip.OnMessage = [](const std::string& text) { std::printf("message: %.200s\n", text.c_str()); };
    try {
        const auto project = unpackProjectArchive(archive, g_folder + "werk/", zip);
        if (!project) return "refused";
        std::size_t found = 0;
        if (lookUpEveryLine) {
            for (std::size_t i = 1; i < project->LoadStore.size(); ++i)
                found += fs::exists(
                    project->PicturePath(SplitElementRecord(project->LoadStore[i]).Path));
        }
        return std::to_string(project->LoadStore.size()) + " lines, " + std::to_string(found) +
               " pictures found";
    } catch (const std::exception& error) {
        return std::string("error: ") + std::string(error.what()).substr(0, 200);
    }
}

std::string records(const std::string& fill, int megabytes) {
    const std::string archive = g_folder + "p.vbk";
    makeApart([&] {
        hostile::writeArchive(archive,
                              {{"data.dat", std::string(std::size_t(megabytes) << 20, fill[0])}});
    });
    std::printf("archive: %ju bytes\n", static_cast<std::uintmax_t>(fs::file_size(archive)));
    return timed([&] { return unpack(archive, false); });
}

std::string linesAndEntries(int lines, int entries) {
    const std::string archive = g_folder + "p.vbk";
    makeApart([&] {
        std::string data = "Fassade.png\r\n";
        for (int i = 0; i < lines; ++i)
            data += "C:\\Muster\\fehlt.png;1;2;3;4;5;6;7;8;\r\n";
        std::vector<std::pair<std::string, std::string>> files{{"data.dat", data}};
        for (int i = 0; i < entries; ++i)
            files.emplace_back("bild" + std::to_string(i) + ".png", "p");
        hostile::writeArchive(archive, files);
    });
    std::printf("archive: %ju bytes\n", static_cast<std::uintmax_t>(fs::file_size(archive)));
    return timed([&] { return unpack(archive, true); });
}

std::string picture(const std::function<hostile::Bytes()>& make, const std::string& name) {
    makeApart([&] { writeFile(g_folder + name, make()); });
    std::printf("file: %ju bytes\n", static_cast<std::uintmax_t>(fs::file_size(g_folder + name)));
    return timed([&] { return readPicture(g_folder + name); });
}

std::string save(int megabytes) {
    // An incompressible facade, so the archive is as large as the pictures.
    const std::string facade = g_folder + "Fassade.jpg";
    const std::vector<std::string> data = {
        facade, FormatElementRecord({g_folder + "Tür.png", 1, 2, 3, 4, 5, 6, 7, 8})};
    const std::string archive = g_folder + "p.vbk";
    makeApart([&] {
        std::ofstream out(facade, std::ios::binary);
        std::string block(1 << 20, '\0');
        std::uint32_t state = 1;
        for (int mb = 0; mb < megabytes; ++mb) {
            for (char& c : block) {
                state = state * 1664525u + 1013904223u;
                c = static_cast<char>(state >> 24);
            }
            out << block;
        }
        std::ofstream(g_folder + "Tür.png", std::ios::binary) << std::string(1 << 20, 'T');
        TZipArchive first;
        writeProjectArchive(archive, data, g_folder + "werk/", first); // the existing project
    });
    TZipArchive zip;
    zip.OnMessage = [](const std::string& text) { std::printf("message: %s\n", text.c_str()); };
    return timed([&] {
        return writeProjectArchive(archive, data, g_folder + "werk/", zip) ? "saved" : "failed";
    });
}

std::string run(const std::string& what, int argc, char** argv) {
    if (what == "records-linebreaks") return records("\n", argument(argc, argv, 2, 100));
    if (what == "records-0x80") return records("\x80", argument(argc, argv, 2, 100));
    if (what == "lines-entries")
        return linesAndEntries(argument(argc, argv, 2, 20000), argument(argc, argv, 3, 5000));
    if (what == "jpeg-scans") // N [W H]: a 256 x 256 file claiming W x H
        return picture(
            [&] {
                hostile::Bytes jpeg =
                    hostile::progressiveJpeg(256, 256, argument(argc, argv, 2, 20000));
                if (argc > 4)
                    jpeg = hostile::withDeclaredSize(jpeg, argument(argc, argv, 3, 256),
                                                     argument(argc, argv, 4, 256));
                return jpeg;
            },
            "s.jpg");
    if (what == "jpeg-declared")
        return picture(
            [&] {
                return hostile::withDeclaredSize(
                    hostile::progressiveJpeg(16, 16, argument(argc, argv, 4, 10)),
                    argument(argc, argv, 2, 65500), argument(argc, argv, 3, 4096));
            },
            "d.jpg");
    if (what == "emf-rle")
        return picture([&] { return hostile::emfHugeRleBlits(argument(argc, argv, 2, 200)); },
                       "r.emf");
    if (what == "emf-ellipses")
        return picture([&] { return hostile::emfHugeEllipses(argument(argc, argv, 2, 5000)); },
                       "e.emf");
    if (what == "emf-text")
        return picture(
            [&] {
                return hostile::emfLongText(argument(argc, argv, 2, 3),
                                            argument(argc, argv, 3, 16000),
                                            argument(argc, argv, 4, 4000));
            },
            "t.emf");
    if (what == "emf-polyline")
        return picture(
            [&] {
                return hostile::emfWidePolyline(argument(argc, argv, 2, 15000),
                                                argument(argc, argv, 3, 4000));
            },
            "l.emf");
    if (what == "icon-entries")
        return picture(
            [&] { return hostile::iconOfFailingEntries(argument(argc, argv, 2, 65535)); }, "i.ico");
    if (what == "png-texts") {
        const hostile::Bytes plain = hostile::pngWithoutPixels(1, 1);
        return picture(
            [&] { return hostile::pngWithCompressedTexts(plain, argument(argc, argv, 2, 400)); },
            "t.png");
    }
    if (what == "save") return save(argument(argc, argv, 2, 64));
    return "unknown case " + what;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: hostile_inputs CASE [numbers...]\n");
        return 2;
    }
    std::string pattern = fs::temp_directory_path().string() + "/hostile-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) return 1;
    g_folder = pattern + "/";
    const auto start = std::chrono::steady_clock::now();
    const std::string result = run(argv[1], argc, argv);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s: %s in %.3f s (input made included)\n", argv[1], result.c_str(), seconds);
    std::error_code ignored;
    fs::remove_all(g_folder, ignored);
    return 0;
}
