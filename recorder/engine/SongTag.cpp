#include "recorder/engine/SongTag.h"

#include <cstdint>
#include <ctime>

namespace recorder {
namespace {

// ID3v2.4 sizes are "syncsafe": seven bits a byte.
std::string syncsafe(std::size_t size) {
    std::string bytes(4, '\0');
    for (int i = 3; i >= 0; --i) {
        bytes[static_cast<std::size_t>(i)] = static_cast<char>(size & 0x7f);
        size >>= 7;
    }
    return bytes;
}

std::string frame(const char* id, const std::string& body) { return id + syncsafe(body.size()) + std::string(2, '\0') + body; }

// A text frame: encoding 3 (UTF-8), then the text.
std::string textFrame(const char* id, const std::string& text) {
    return text.empty() ? std::string() : frame(id, '\x03' + text);
}

// Text for a tag: no control characters (a title cannot hold a line break or a NUL).
std::string clean(const std::string& text) {
    std::string result;
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f)
            result += c;
    return result;
}

} // namespace

std::string id3v2Tag(const SongTagInfo& info) {
    std::string title = clean(info.streamTitle), artist;
    if (const std::size_t dash = title.find(" - "); dash != std::string::npos && dash > 0 && dash + 3 < title.size()) {
        artist = title.substr(0, dash);
        title = title.substr(dash + 3);
    }
    std::string frames = textFrame("TIT2", title) + textFrame("TPE1", artist) + textFrame("TALB", clean(info.station)) +
                         textFrame("TDRC", clean(info.date));
    // A URL frame's text is ISO 8859-1 with no encoding byte: an address that is not ASCII is left out.
    const std::string address = clean(info.address);
    bool ascii = !address.empty();
    for (const char c : address)
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii)
        frames += frame("WORS", address);
    return std::string("ID3\x04\x00\x00", 6) + syncsafe(frames.size()) + frames;
}

std::string todaysDate() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &local);
    return text;
}

} // namespace recorder
