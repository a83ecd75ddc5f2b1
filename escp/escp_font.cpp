// The 9-pin font and the character tables of the ESC/P printer.
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "base/file_access.h"
#include "escp/escp_printer.h"

const uint8_t escpSetPlaces[12] = {0x23, 0x24, 0x40, 0x5B, 0x5C, 0x5D, 0x5E, 0x60, 0x7B, 0x7C, 0x7D, 0x7E};

const char32_t escpSetCharacters[escpSets][12] = {
    {U'#', U'$', U'@', U'[', U'\\', U']', U'^', U'`', U'{', U'|', U'}', U'~'},  // USA
    {U'#', U'$', U'à', U'°', U'ç', U'§', U'^', U'`', U'é', U'ù', U'è', U'¨'},   // France
    {U'#', U'$', U'§', U'Ä', U'Ö', U'Ü', U'^', U'`', U'ä', U'ö', U'ü', U'ß'},   // Germany
    {U'£', U'$', U'@', U'[', U'\\', U']', U'^', U'`', U'{', U'|', U'}', U'~'},  // United Kingdom
    {U'#', U'$', U'@', U'Æ', U'Ø', U'Å', U'^', U'`', U'æ', U'ø', U'å', U'~'},   // Denmark I
    {U'#', U'¤', U'É', U'Ä', U'Ö', U'Å', U'Ü', U'é', U'ä', U'ö', U'å', U'ü'},   // Sweden
    {U'#', U'$', U'@', U'°', U'\\', U'é', U'^', U'ù', U'à', U'ò', U'è', U'ì'},  // Italy
    {U'₧', U'$', U'@', U'¡', U'Ñ', U'¿', U'^', U'`', U'¨', U'ñ', U'}', U'~'},   // Spain I
    {U'#', U'$', U'@', U'[', U'¥', U']', U'^', U'`', U'{', U'|', U'}', U'~'},   // Japan
    {U'#', U'¤', U'É', U'Æ', U'Ø', U'Å', U'Ü', U'é', U'æ', U'ø', U'å', U'ü'},   // Norway
    {U'#', U'$', U'É', U'Æ', U'Ø', U'Å', U'Ü', U'é', U'æ', U'ø', U'å', U'ü'},   // Denmark II
    {U'#', U'$', U'á', U'¡', U'Ñ', U'¿', U'é', U'`', U'í', U'ñ', U'ó', U'ú'},   // Spain II
    {U'#', U'$', U'á', U'¡', U'Ñ', U'¿', U'é', U'ü', U'í', U'ñ', U'ó', U'ú'},   // Latin America
};

// The national letters in the order the sets bring them, France first; the four
// that Spain II adds last are in the graphics table's 160-163.
const char32_t escpUpperNational[32] = {
    U'à', U'°', U'ç', U'§', U'é', U'ù', U'è', U'¨', U'Ä', U'Ö', U'Ü', U'ä', U'ö', U'ü', U'ß', U'£',
    U'Æ', U'Ø', U'Å', U'æ', U'ø', U'å', U'¤', U'É', U'ò', U'ì', U'₧', U'¡', U'Ñ', U'¿', U'ñ', U'¥',
};

const char32_t escpGraphicsTable[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC,
    0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6, 0x00DC, 0x00A2,
    0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310,
    0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C,
    0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF,
    0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2,
    0x25A0, 0x00A0,
};

namespace {

constexpr char fontMagic[] = "TMBXESCP1\n";  // the file's first bytes
constexpr size_t recordBytes = 1 + 4 + 2 * escpGlyphColumns;
constexpr const char *fontName = "PRINTER/escp.fake";
constexpr const char *installedFontName = "../share/tambrix/PRINTER/escp.fake";  // from the program's folder
constexpr size_t largestFont = 1u << 20;  // far more than two faces of every character

uint32_t littleEndian(const uint8_t *bytes, unsigned count) {
  uint32_t value = 0;
  for (unsigned i = count; i-- > 0;) value = value << 8 | bytes[i];
  return value;
}

}  // namespace

bool readEscpFont(EscpFont &font, const uint8_t *bytes, size_t length) {
  size_t magic = sizeof fontMagic - 1;
  if (length < magic + 4 || std::memcmp(bytes, fontMagic, magic) != 0) return false;
  uint32_t count = littleEndian(bytes + magic, 4);
  if ((length - magic - 4) / recordBytes != count || (length - magic - 4) % recordBytes != 0) return false;
  EscpFont read;
  for (const uint8_t *record = bytes + magic + 4; record < bytes + length; record += recordBytes) {
    if (record[0] > 1) return false;
    EscpColumns columns;
    for (unsigned c = 0; c < escpGlyphColumns; ++c) columns[c] = uint16_t(littleEndian(record + 5 + 2 * c, 2) & 0x1FF);
    read.faces[record[0]][char32_t(littleEndian(record + 1, 4))] = columns;
  }
  font = std::move(read);
  return true;
}

EscpFontSearch loadEscpFont(EscpFont &font) {
  EscpFontSearch search;
  search.tried.push_back(fontName);
  std::string folder = programDirectory();
  if (!folder.empty())
    search.tried.push_back((std::filesystem::path(folder) / installedFontName).lexically_normal().string());
  for (size_t i = 0; i < search.tried.size(); ++i) {
    FILE *file = openForReading(search.tried[i]);
    if (file == nullptr) continue;
    std::vector<uint8_t> bytes(largestFont);
    size_t length = std::fread(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    search.used = int(i);
    search.tried.resize(i + 1);
    search.damaged = !readEscpFont(font, bytes.data(), length);
    break;
  }
  return search;
}
