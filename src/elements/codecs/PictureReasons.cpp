#include "elements/codecs/PictureReasons.h"

#include "elements/codecs/PixelTarget.h"

namespace schauplatz::reasons {

std::string missing() {
    return "Die Datei ist nicht vorhanden.";
}

std::string folder() {
    return "Der Name bezeichnet einen Ordner, keine Bilddatei.";
}

std::string notReadable() {
    return "Die Datei lässt sich nicht öffnen oder nicht lesen.";
}

std::string unknownFormat() {
    return "Ihr Inhalt ist in keinem der bekannten Bildformate (BMP, PNG, JPEG, Symbol, "
           "Metadatei, HEIC/HEIF, AVIF, WebP).";
}

std::string damaged() {
    return "Die Datei ist beschädigt oder unvollständig.";
}

std::string animatedWebp() {
    return "Bewegte WebP-Bilder (Animationen) werden nicht unterstützt.";
}

std::string noStillImage() {
    return "Die Datei enthält kein Einzelbild.";
}

std::string tooLarge(std::int64_t width, std::int64_t height, std::int64_t maxSide) {
    const std::string limit = "möglich sind höchstens " + std::to_string(maxSide) +
                              " Pixel je Seite und " + std::to_string(kMaxPicturePixels) +
                              " Pixel insgesamt.";
    if (width <= 0 || height <= 0) return "Das Bild ist zu groß: " + limit;
    return "Das Bild ist mit " + std::to_string(width) + " × " + std::to_string(height) +
           " Pixeln zu groß: " + limit;
}

std::string missingDecoder(const std::string& format) {
    const std::string plugin =
        format == "AVIF" ? "libheif-plugin-dav1d" : "libheif-plugin-libde265";
    return "Der Bildbibliothek libheif auf diesem Rechner fehlt der Decoder für " + format +
           "-Bilder. Installieren Sie das passende Decoder-Plugin (unter Debian das Paket " +
           plugin + ").";
}

} // namespace schauplatz::reasons
