#include "TestFacades.h"

#include "elements/codecs/JpegCodec.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>
#include <random>
#include <stdexcept>

namespace schauplatz::placementaid::testfacades {

namespace {

// Two storeys: windows above, windows and a door on a step below. Variant shifts sizes,
// frames, colours, panes and sills so no two fronts are alike.
std::vector<TOpeningPlan> twoStoreys(int Variant) {
    std::vector<TOpeningPlan> out;
    const double frame = 7.0 + Variant % 4;
    // Openings are not laid out on the brick module: each sits a few centimetres off.
    std::mt19937 rng(static_cast<std::uint32_t>(7919 * (Variant + 1)));
    std::uniform_real_distribution<double> jitter(-6.0, 6.0);
    const auto window = [&](double Left, double Top, double Width, double Height, int K) {
        TOpeningPlan o;
        o.Left = Left + jitter(rng);
        o.Top = Top + jitter(rng);
        o.Right = o.Left + Width + 0.5 * jitter(rng);
        o.Bottom = o.Top + Height + 0.5 * jitter(rng);
        o.Frame = frame + (K % 2);
        o.Palette = static_cast<std::uint8_t>((Variant + K) % 4);
        o.Mullion = (Variant + K) % 3 == 0;
        o.Sill = (Variant + K) % 4 != 1;
        out.push_back(o);
    };
    const double w = 105.0 + 6 * (Variant % 3), h = 135.0 + 5 * (Variant % 2);
    window(70, 60, w, h, 0);
    window(320, 60, w, h, 1);
    window(590, 60, w, h, 2);
    window(830, 60, w, h, 3);
    window(70, 320, w + 10, h, 4);
    window(240, 320, w + 10, h, 5);
    window(720, 320, w + 20, h, 6);
    TOpeningPlan door;
    door.Left = 440 + jitter(rng);
    door.Right = door.Left + 100;
    door.Top = 322 + jitter(rng);
    door.Bottom = 545;
    door.Door = true;
    door.Frame = frame;
    door.Palette = static_cast<std::uint8_t>(Variant % 4);
    out.push_back(door);
    return out;
}

THouseFrontPlan front(std::string Name, std::int32_t W, std::int32_t H, TWall Wall,
                      std::array<TPointD, 4> Corners, int Variant) {
    THouseFrontPlan s;
    s.Name = std::move(Name);
    s.Width = W;
    s.Height = H;
    s.Wall = Wall;
    s.Corners = Corners;
    s.Openings = twoStoreys(Variant);
    for (TOpeningPlan& o : s.Openings)
        o.Lintel = Wall == TWall::Brick;
    s.Seed = static_cast<std::uint32_t>(101 + 37 * Variant);
    return s;
}

struct TJpegError {
    jpeg_error_mgr Base;
    std::jmp_buf Jump;
};

void jpegErrorExit(j_common_ptr C) {
    std::longjmp(reinterpret_cast<TJpegError*>(C->err)->Jump, 1);
}

// Plain C set-up around setjmp: no C++ object lives in this frame.
bool compress(jpeg_compress_struct* C, const std::uint8_t* Rgb, int W, int H, int Quality,
              unsigned char** Buffer, unsigned long* Size) {
    if (setjmp(reinterpret_cast<TJpegError*>(C->err)->Jump)) return false;
    jpeg_create_compress(C);
    jpeg_mem_dest(C, Buffer, Size);
    C->image_width = static_cast<JDIMENSION>(W);
    C->image_height = static_cast<JDIMENSION>(H);
    C->input_components = 3;
    C->in_color_space = JCS_RGB;
    jpeg_set_defaults(C);
    jpeg_set_quality(C, Quality, TRUE);
    jpeg_start_compress(C, TRUE);
    while (C->next_scanline < C->image_height) {
        JSAMPROW row =
            const_cast<std::uint8_t*>(Rgb) + static_cast<std::size_t>(C->next_scanline) * 3 * W;
        jpeg_write_scanlines(C, &row, 1);
    }
    jpeg_finish_compress(C);
    return true;
}

} // namespace

std::vector<THouseFrontPlan> standardHouseFronts(std::uint32_t Round) {
    std::vector<THouseFrontPlan> fronts{
        front("brick-frontal", 1920, 1080, TWall::Brick,
              {{{110, 70}, {1820, 40}, {1840, 1010}, {90, 1040}}}, 0),
        front("plaster-right-away", 1920, 1080, TWall::Plaster,
              {{{60, 40}, {1500, 170}, {1510, 900}, {40, 1050}}}, 1),
        front("brick-left-away", 1920, 1080, TWall::Brick,
              {{{380, 120}, {1860, 20}, {1880, 1060}, {360, 930}}}, 2),
        front("plaster-looking-up", 1920, 1080, TWall::Plaster,
              {{{220, 60}, {1700, 60}, {1860, 1030}, {60, 1030}}}, 3),
        front("brick-small", 1441, 1081, TWall::Brick,
              {{{40, 170}, {1400, 130}, {1390, 900}, {50, 930}}}, 4),
        front("plaster-small-away", 1441, 1081, TWall::Plaster,
              {{{100, 160}, {1250, 240}, {1260, 860}, {90, 980}}}, 5),
    };
    if (Round == 0) return fronts;
    // Another round: other openings, colours and grain, and the fronts' corners a little
    // elsewhere, all from the round number.
    std::mt19937 rng(Round * 2654435761u);
    std::uniform_real_distribution<double> shift(-30.0, 30.0);
    for (std::size_t i = 0; i < fronts.size(); ++i) {
        const int variant = static_cast<int>(i + 6 * Round);
        fronts[i].Openings = twoStoreys(variant);
        for (TOpeningPlan& o : fronts[i].Openings)
            o.Lintel = fronts[i].Wall == TWall::Brick;
        fronts[i].Seed = static_cast<std::uint32_t>(101 + 37 * variant);
        for (TPointD& c : fronts[i].Corners)
            c = {c.X + shift(rng), c.Y + shift(rng)};
        fronts[i].Name += "-round" + std::to_string(Round);
    }
    return fronts;
}

THouseFrontPlan plainWall(TWall Wall, std::int32_t Width, std::int32_t Height, std::uint32_t Seed) {
    THouseFrontPlan s;
    s.Name = Wall == TWall::Brick ? "plain-brick" : "plain-plaster";
    s.Width = Width;
    s.Height = Height;
    s.Wall = Wall;
    s.Plinth = false;
    s.FrontWidth = 1000;
    s.FrontHeight = 1000;
    const double w = Width, h = Height;
    s.Corners = {{{-100, -80}, {w + 60, -120}, {w + 90, h + 100}, {-70, h + 60}}};
    s.Seed = Seed;
    return s;
}

void jpegRoundTrip(TBitmap32& Picture, int Quality) {
    const std::int32_t w = Picture.Width(), h = Picture.Height();
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(w) * h * 3);
    for (std::size_t i = 0; i < static_cast<std::size_t>(w) * h; ++i) {
        const TColor32 c = Picture.Bits()[i];
        rgb[3 * i] = static_cast<std::uint8_t>(RedComponent(c));
        rgb[3 * i + 1] = static_cast<std::uint8_t>(GreenComponent(c));
        rgb[3 * i + 2] = static_cast<std::uint8_t>(BlueComponent(c));
    }
    jpeg_compress_struct c{};
    TJpegError error{};
    c.err = jpeg_std_error(&error.Base);
    error.Base.error_exit = jpegErrorExit;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    const bool ok = compress(&c, rgb.data(), w, h, Quality, &buffer, &size);
    jpeg_destroy_compress(&c);
    std::vector<std::uint8_t> file;
    if (ok) file.assign(buffer, buffer + size);
    std::free(buffer);
    DecodedPicture decoded;
    if (!ok || !decodeJpeg(file, decoded) || decoded.width != w || decoded.height != h)
        throw std::runtime_error("test facade: JPEG round trip failed");
    std::copy(decoded.pixels.begin(), decoded.pixels.end(), Picture.Bits());
}

} // namespace schauplatz::placementaid::testfacades
