#include "files/hex_input.h"

#include <array>
#include <optional>

#include "files/state_file.h"
#include "session/messages.h"

namespace ferrolux {

namespace {

constexpr const char* kOpenError = "Open Error!";
constexpr const char* kNoConfigWord =
    "No Config-Word in File \nor File does not match \nto the controller type!";

std::string fileNameOf(const std::string& path) {
    std::size_t slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.size() > kFileNameMax) name.resize(kFileNameMax);
    return name;
}

}  // namespace

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

namespace {

// The word at chip word address `word`, when the file gives both its bytes.
std::optional<int> wordOf(const HexFile& file, int word) {
    const auto low = file.bytes.find(static_cast<std::uint32_t>(2 * word));
    const auto high = file.bytes.find(static_cast<std::uint32_t>(2 * word + 1));
    if (low == file.bytes.end() || high == file.bytes.end()) return std::nullopt;
    return high->second.value << 8 | low->second.value;
}

// A configuration word cut to the core's width when the bits above it are
// all 1; left whole otherwise, for the fit to refuse.
int coreWord(const DeviceRecord& d, int value) {
    const int core = blankWord(d);
    return (value | core) == 0xFFFF ? value & core : value;
}

}  // namespace

namespace {

// Reads the selected file; 0, or 1 with the message filled.
int readSelected(Session& s, HexFile& file) {
    if (s.file.hexPath.empty() || s.file.hexPath.size() > kHexPathMax) {
        s.file.fileSelected = false;
        s.message = kOpenError;
        return 1;
    }
    std::string message;
    if (!readHexFile(s.file.hexPath, hexRulesFor(s.device), file, message)) {
        s.message = message;
        if (message != kOpenError) s.file.fileSelected = false;
        return 1;
    }
    return 0;
}

// A PIC18 file's configuration bytes (the chip's own bits) into the
// session's; true when it holds any.
bool takeConfigBytes(Session& s, const HexFile& file) {
    bool any = false;
    for (int k = 0; k < kPic18ConfigBytes; ++k) {
        const ConfigByte& byte = s.device.configBytes[static_cast<std::size_t>(k)];
        const auto it = file.bytes.find(static_cast<std::uint32_t>(kPic18ConfigBase + k));
        if (byte.mask == 0 || it == file.bytes.end()) continue;
        s.chip.configBytes[static_cast<std::size_t>(k)] = it->second.value & byte.mask;
        any = true;
    }
    return any;
}

// Takes the file's ID values and configuration words over and shows them.
void takeValues(Session& s, const HexFile& file) {
    if (pic18Core(s.device)) {
        s.file.fileSelected = true;
        s.file.fileName = fileNameOf(s.file.hexPath);
        s.file.hasConfigWord = takeConfigBytes(s, file);
        s.reporter->fileConfigWord(s.file.hasConfigWord);
        if (!s.file.hasConfigWord && !s.file.quiet) s.reporter->message(kNoConfigWord, "WARNING!");
        return;
    }
    // Each ID location holds a nibble in the low digit of its low byte.
    std::array<int, 4> ids = s.chip.idValues;
    const int idBase = idAddressOf(s.device);
    for (std::size_t i = 0; i < ids.size(); ++i) {
        if (const auto w = wordOf(file, idBase + static_cast<int>(i))) ids[i] = *w & 0xF;
    }
    const auto config = wordOf(file, configAddressOf(s.device));
    const bool wantsConfig2 = !twelveBitCore(s.device) && s.device.config2Mask != 0;
    const auto config2 = wantsConfig2 ? wordOf(file, kConfig2Address) : std::nullopt;

    s.file.fileSelected = true;
    s.file.fileName = fileNameOf(s.file.hexPath);
    s.chip.idValues = ids;
    s.reporter->idValues(ids);
    if (config) s.chip.configWord = coreWord(s.device, *config);
    if (config2) s.chip.config2Word = coreWord(s.device, *config2);
    s.file.hasConfigWord = config.has_value();
    s.reporter->fileConfigWord(s.file.hasConfigWord);
    if (!config && !s.file.quiet) s.reporter->message(kNoConfigWord, "WARNING!");
}

}  // namespace

int openHexFile(Session& s, HexFile& file) {
    if (readSelected(s, file) != 0) return 1;
    if (storeHexPath(s) != 0) return 1;
    takeValues(s, file);
    return 0;
}

std::string fileDoubt(const HexFile& file) {
    if (file.checksumErrorLine != 0) return kChecksumWrong;
    if (!file.endRecord && file.dataRecords > 0) return kNoEndRecord;
    return {};
}

int fitSelectedFile(Session& s, const HexFile& file, ChipImage& image, bool needsData) {
    std::string message;
    if (!fitHexFile(file, s.device, image, message)) {
        s.message = message;
        return 1;
    }
    if (needsData && image.empty()) {
        s.message = "The file holds no data!\nOpen the hex file of a program.";
        return 1;
    }
    std::string note;
    if (image.paddingSkipped > 0) {
        note = formatText("%d blank %s past the end of the %s are left out.", image.paddingSkipped,
                          pic18Core(s.device) ? "bytes" : "words", s.device.name.c_str());
    }
    if (image.keptSkipped > 0) {
        if (!note.empty()) note += "\n";
        note += pic18Core(s.device)
                    ? formatText("The device ID in the file is left out: the %s keeps its own.",
                                 s.device.name.c_str())
                    : formatText(
                          "%d words the %s keeps itself (device ID, calibration) are "
                          "left out.",
                          image.keptSkipped, s.device.name.c_str());
    }
    if (!note.empty()) s.reporter->message(note, "Note");
    return 0;
}

int loadSelectedFile(Session& s, ChipImage& image, bool needsData) {
    HexFile file;
    // The file stays selected: the user may mend it and try again.
    const bool selected = s.file.fileSelected;
    if (readSelected(s, file) != 0) {
        s.file.fileSelected = selected;
        return 1;
    }
    const bool quiet = s.file.quiet;
    s.file.quiet = true;  // the warning came when the file was opened
    takeValues(s, file);
    s.file.quiet = quiet;
    const std::string doubt = fileDoubt(file);
    if (!doubt.empty() && !s.reporter->ask(doubt, "Warning!", QuestionKind::doubt)) {
        s.message.clear();
        return 1;
    }
    return fitSelectedFile(s, file, image, needsData);
}

void showProgress(Session& s) {
    const std::string& text = s.shown.statusText;
    std::size_t end = 0;
    while (end < text.size()) {
        auto c = static_cast<unsigned char>(text[end]);
        if (c < 0x20 || c >= 0x80) break;
        ++end;
    }
    s.reporter->status(text.substr(0, end) + std::string(80, ' '));
}

}  // namespace ferrolux
