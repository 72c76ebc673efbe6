#include "device/chip_service.h"

#include <array>

#include "device/check_link.h"
#include "device/config_ids.h"
#include "device/erase.h"
#include "device/family.h"
#include "device/passes.h"
#include "device/pic18/parts.h"
#include "device/readback.h"
#include "files/device_list.h"
#include "files/hex_image.h"
#include "link/delays.h"
#include "link/detect.h"
#include "link/icsp.h"
#include "link/line_driver.h"
#include "session/messages.h"
#include "session/session.h"

namespace ferrolux {

namespace {

constexpr const char* kErasing = "erasing.....     ";
constexpr const char* kVppDeclined = "Cancelled: the chip was not touched.";
constexpr const char* kWriting = "writing.....     ";

int readByte(Session& s) {
    return sendIcsp(s, READ_DATA_DATA, 0) & 0xFF;
}

// An operation whose frames stopped reaching the chip has failed, whatever it
// saw: what it read is not the chip's. A failed one lets the chip go first:
// with the lines idle the board must answer, so a pulled board is told apart
// from a chip that failed.
int unlessLost(Session& s, int result) {
    if (result != 0) sendIcsp(s, LEAVE_PGM, 0);
    return linesLost(s) ? 1 : result;
}

// A write's or verify's result, unless its frames stopped reaching the chip:
// then it failed, whatever it saw.
Result unlessLost(Session& s, const Result& r) {
    if (r.outcome == Outcome::failed) sendIcsp(s, LEAVE_PGM, 0);
    return linesLost(s) ? Result{Outcome::failed, Failure::failed} : r;
}

}  // namespace

int ChipService::checkLink(Failure* why) {
    LinkFailure failure = LinkFailure::none;
    const int r = ferrolux::checkLink(s_, &failure);
    if (why != nullptr) {
        // Frames that stopped reaching the board are the adapter's failure
        // whatever the chip seemed to answer.
        if (r != 0) {
            *why = Failure::none;
        } else if (linesLost(s_)) {
            *why = Failure::failed;
        } else {
            *why = failure == LinkFailure::port ? Failure::port : Failure::noChip;
        }
    }
    return r;
}

void ChipService::leave() {
    sendIcsp(s_, LEAVE_PGM, 0);
}

void ChipService::pause(int ms) {
    waitMs(s_, ms);
}

int ChipService::openComPort() {
    return ferrolux::openComPort(s_);
}

bool ChipService::findParallelAdapter() {
    if (s_.link.adapter == '1') return detectAn589(s_) == 0;
    if (s_.link.adapter == '2' || s_.link.adapter == '3') return detectP16Pro(s_) == 0;
    return true;
}

std::string ChipService::vppWarning() const {
    const DeviceRecord& d = s_.device;
    if (!vppAboveLimit(d)) return {};
    return formatText(
        "The %s takes at most %d.%d V on MCLR/Vpp;\n"
        "the programmer supplies about %d V and may damage it.\n"
        "Program it all the same?",
        d.name.c_str(), d.vppLimitTenths / 10, d.vppLimitTenths % 10, kBoardVppTenths / 10);
}

bool ChipService::vppAccepted() {
    if (s_.vppWarned) return true;
    const std::string text = vppWarning();
    if (text.empty()) return true;
    // The link check left Vpp on: the chip is let go while the user decides.
    leave();
    if (!s_.reporter->ask(text, "Warning!", QuestionKind::doubt)) {
        s_.message = kVppDeclined;
        return false;
    }
    s_.vppWarned = true;
    return true;
}

int ChipService::secondConfigMask() const {
    return algorithmOf(s_.device).twelveBit ? 0 : s_.device.config2Mask;
}

std::vector<std::pair<int, int>> ChipService::readCalibrationWords() {
    std::vector<std::pair<int, int>> words;
    if (algorithmOf(s_.device).twelveBit || s_.device.calibrationWords == 0) return words;
    sendIcsp(s_, ENTER_PGM, 0);
    sendIcsp(s_, LOAD_CONFIGURATION, 0x3FFF);
    for (int address = 0x2000; address <= kCalibrationWordBase + 1; ++address) {
        if (keepsCalibrationAt(s_.device, address))
            words.emplace_back(address, sendIcsp(s_, READ_DATA_PROGRAM, 0) & 0x3FFF);
        sendIcsp(s_, INCREMENT_ADDRESS, 0);
    }
    leave();
    return words;
}

bool ChipService::sameChipOrAgreed() {
    const OtherChip other = otherChipOnBoard(s_);
    if (!other.other) return true;
    // The link check left Vpp on: the chip is let go while the user decides.
    leave();
    return s_.reporter->ask(otherChipQuestion(s_, other), "Warning!", QuestionKind::doubt);
}

int ChipService::saveReadback(bool listing) {
    if ((listing ? writeReadbackText(s_) : writeReadbackHex(s_)) != 0) return 1;
    leave();
    return 0;
}

namespace {

bool keepsData(const WriteOptions& o, const ChipImage& image) {
    const bool fileData = o.data && image.hasData();
    return o.keepData && o.eraseFirst && !fileData;
}

}  // namespace

bool ChipService::readKeptData(std::vector<int>& bytes) {
    const auto config = s_.chip.configBytes;
    const int word = s_.chip.configWord, word2 = s_.chip.config2Word;
    bool dataProtected = false;
    if (pic18Core(s_.device)) {
        if (unlessLost(s_, pic18ReadConfig(s_, s_.chip.configBytes)) != 0) return false;
        dataProtected = (pic18Protection(s_.device, s_.chip.configBytes) & 2) != 0;
    } else {
        readConfigWord(s_);
        leave();
        const int mask = protectionBits(s_.device).data;
        dataProtected = mask != 0 && (s_.chip.configWord & mask) != mask;
    }
    const std::string read = formatText("%.4X", static_cast<unsigned>(s_.chip.configWord));
    s_.chip.configBytes = config;
    s_.chip.configWord = word;
    s_.chip.config2Word = word2;
    if (dataProtected) {
        s_.message = "The data memory is protected" +
                     (pic18Core(s_.device) ? std::string(" (CONFIG5H CPD)")
                                           : " (Config-Word " + read + ")") +
                     ": it reads as zeros and cannot be kept.\nNothing was erased.";
        return false;
    }
    const bool blank = s_.pass.blank;
    bytes = readDataMemory();
    s_.pass.blank = blank;
    leave();
    if (unlessLost(s_, 0) != 0 || bytes.size() != static_cast<std::size_t>(s_.device.dataBytes)) {
        if (s_.message.empty()) s_.message = "The data memory could not be read.";
        return false;
    }
    return true;
}

int ChipService::restoreData(const std::vector<int>& bytes) {
    ChipImage back;
    for (std::size_t k = 0; k < bytes.size(); ++k) {
        if (bytes[k] == 0xFF) continue;
        const int offset = static_cast<int>(k);
        back.words[kDataWordBase + offset] = bytes[k];
        ++back.dataBytes;
    }
    if (back.dataBytes == 0) return 0;
    return programDataMemory(s_, back);
}

Result ChipService::write(const WriteOptions& o, const ChipImage& image) {
    if (!vppAccepted()) return {Outcome::cancelled, Failure::none};
    std::vector<int> kept;
    const bool keep = keepsData(o, image);
    if (keep && !readKeptData(kept))
        return unlessLost(s_, Result{Outcome::failed, Failure::failed});
    if (pic18Core(s_.device)) return unlessLost(s_, write18(o, image, kept));
    const Result result = [&]() -> Result {
        const Result failed{Outcome::failed, Failure::failed};
        if (o.eraseFirst) {
            s_.reporter->status(kErasing);
            if (ferrolux::eraseChip(s_) != 0) return failed;
        }
        s_.reporter->status(kWriting);
        if (o.code) {
            const int r = writeCodeMemory(s_, image, o.eraseFirst);
            if (r == kPassDeclined) return {Outcome::cancelled, Failure::none};
            if (r == kPassMismatch) return {Outcome::failed, Failure::mismatch};
            if (r != 0) return failed;
        }
        if (o.data && programDataMemory(s_, image, PassMode::write, o.eraseFirst) != 0)
            return failed;
        if (keep && restoreData(kept) != 0) return failed;
        if (o.config && writeConfigWord(s_) != 0) return failed;
        leave();
        return {};
    }();
    return unlessLost(s_, result);
}

namespace {

// The configuration bits a verify compares: those that read back as
// written.
int configCompareMask(Session& s) {
    const Family& f = algorithmOf(s.device);
    if (f.twelveBit) return 0xFFF & ~functionlessConfigBits(s) & configMaskOf(s.device);
    return f.keepsBandgapBits ? 0x01FF : configMaskOf(s.device);
}

int mismatch(Session& s, const char* place, int chip, int file) {
    s.message = formatText("Verify failed at %s: chip %04X, file %04X", place,
                           static_cast<unsigned>(chip), static_cast<unsigned>(file));
    return kPassMismatch;
}

// The configuration words and IDs the file holds, compared with the chip's.
int verifyConfigSpace(Session& s, const ChipImage& image) {
    const bool twelveBit = algorithmOf(s.device).twelveBit;
    if (image.hasIds()) {
        const std::array<int, 4> ids = readIdWords(s);
        for (std::size_t i = 0; i < image.ids.size(); ++i) {
            if (!image.ids[i]) continue;
            const int chip = ids[i];
            const int file = *image.ids[i] & 0xF;
            if (chip != file) {
                const std::string place = "ID" + std::to_string(i);
                return mismatch(s, place.c_str(), chip, file);
            }
        }
    }
    if (!image.config && !image.config2) return 0;
    sendIcsp(s, ENTER_PGM, 0);
    if (!twelveBit) goToConfigWord(s);
    const int config = sendIcsp(s, READ_DATA_PROGRAM, 0) & blankWord(s.device);
    const int mask = configCompareMask(s);
    if (image.config && (config & mask) != (*image.config & mask))
        return mismatch(s, "Config-Word", config, *image.config);
    if (twelveBit || !image.config2 || s.device.config2Mask == 0) return 0;
    sendIcsp(s, INCREMENT_ADDRESS, 0);
    const int config2 = sendIcsp(s, READ_DATA_PROGRAM, 0) & 0x3FFF;
    const int mask2 = s.device.config2Mask;
    if ((config2 & mask2) != (*image.config2 & mask2))
        return mismatch(s, "Config-Word 2", config2, *image.config2);
    return 0;
}

}  // namespace

Result ChipService::verify(const VerifyOptions& o, const ChipImage& image) {
    if (pic18Core(s_.device)) return unlessLost(s_, verify18(o, image));
    const Result result = [&]() -> Result {
        int r = 0;
        if (algorithmOf(s_.device).twelveBit) {
            r = programCode12Bit(s_, image, PassMode::verify);
        } else {
            if (o.code) r = programCodeByWord(s_, image, PassMode::verify);
            if (r == 0 && o.data) r = programDataMemory(s_, image, PassMode::verify);
        }
        if (r == 0) r = verifyConfigSpace(s_, image);
        if (r == kPassMismatch) return {Outcome::failed, Failure::mismatch};
        if (r != 0) return {Outcome::failed, Failure::failed};
        leave();
        return {};
    }();
    return unlessLost(s_, result);
}

int ChipService::checkBlank(const std::filesystem::path& scratch) {
    s_.pass.blank = true;  // the device ID read by the link check is no content
    s_.pass.usedAddress = -1;
    if (algorithmOf(s_.device).twelveBit) {
        s_.pass.blank = blankCheck12Bit(s_) == 0;
        leave();
        return unlessLost(s_, 0);
    }
    const std::filesystem::path outputDir = s_.outputDir;
    s_.outputDir = scratch;
    const int r = writeReadbackHex(s_);
    s_.outputDir = outputDir;
    return unlessLost(s_, r);
}

int ChipService::eraseChip() {
    if (!vppAccepted()) return 1;
    if (pic18Core(s_.device)) return unlessLost(s_, eraseChip18());
    return unlessLost(s_, ferrolux::eraseChip(s_));
}

int ChipService::eraseCode() {
    if (pic18Core(s_.device)) {
        s_.message = "The " + s_.device.name +
                     " is erased whole here: use \"Disable Codeprotection\" (erase all).";
        return 1;
    }
    if (!vppAccepted()) return 1;
    s_.reporter->status(kErasing);
    return unlessLost(s_, eraseCodeMemory(s_));
}

int ChipService::eraseData() {
    if (!vppAccepted()) return 1;
    s_.reporter->status(kErasing);
    if (pic18Core(s_.device)) return unlessLost(s_, eraseData18());
    return unlessLost(s_, eraseDataMemory(s_));
}

int ChipService::readConfig() {
    if (pic18Core(s_.device)) return unlessLost(s_, pic18ReadConfig(s_, s_.chip.configBytes));
    return unlessLost(s_, readConfigWord(s_));
}

int ChipService::writeConfig() {
    if (!vppAccepted()) return 1;
    if (pic18Core(s_.device)) return unlessLost(s_, writeConfig18());
    if (writeConfigWord(s_) != 0) return 1;
    leave();
    return unlessLost(s_, 0);
}

int ChipService::readIds() {
    if (pic18Core(s_.device)) return noIdWords();
    readIdLocations(s_);
    leave();
    return unlessLost(s_, 0);
}

// The row families that time their own cycles leave programming mode at the
// end of the ID write already.
int ChipService::writeIds() {
    if (pic18Core(s_.device)) return noIdWords();
    if (!vppAccepted()) return 1;
    if (writeIdLocations(s_) != 0) return 1;
    if (!algorithmOf(s_.device).idWriteLeavesProgramming) leave();
    return unlessLost(s_, 0);
}

// The dialogs show no ID words for PIC18 chips: their eight ID bytes come
// with the hex file.
int ChipService::noIdWords() {
    s_.message =
        "The " + s_.device.name + " keeps eight ID bytes; they are written from the hex file.";
    return 1;
}

void ChipService::skipConfigSpace() {
    sendIcsp(s_, LOAD_CONFIGURATION, 0x3FFF);
    for (int i = 0; i < 256; ++i)
        sendIcsp(s_, INCREMENT_ADDRESS, 0);
}

std::vector<int> ChipService::readDataMemory() {
    std::vector<int> bytes;
    if (pic18Core(s_.device)) {
        if (unlessLost(s_, pic18ReadData(s_, bytes)) != 0) bytes.clear();
        for (int b : bytes)
            if (b != 0xFF) s_.pass.blank = false;
        return bytes;
    }
    sendIcsp(s_, ENTER_PGM, 0);
    if (algorithmOf(s_.device).dataPastConfigSpace) skipConfigSpace();
    for (int k = 0; k < s_.device.dataBytes; ++k) {
        bytes.push_back(readByte(s_));
        if (bytes.back() != 0xFF) s_.pass.blank = false;
        sendIcsp(s_, INCREMENT_ADDRESS, 0);
    }
    return bytes;
}

bool ChipService::beginDataWrite() {
    if (!vppAccepted()) return false;
    if (pic18Core(s_.device)) {
        dataIndex_ = 0;
        return unlessLost(s_, pic18ReadData(s_, dataShadow_)) == 0;
    }
    sendIcsp(s_, ENTER_PGM, 0);
    const Family& f = algorithmOf(s_.device);
    if (f.dataPastConfigSpace) skipConfigSpace();
    if (f.dataFromConfigWord) sendIcsp(s_, LOAD_CONFIGURATION, 0x3FFF);
    return true;
}

bool ChipService::writeDataByte(int value) {
    if (pic18Core(s_.device)) return unlessLost(s_, writeDataByte18(value) ? 0 : 1) == 0;
    if (readByte(s_) != value) {
        sendIcsp(s_, LOAD_DATA_DATA, value);
        algorithmOf(s_.device).commitByte(s_, value);
        waitMs(s_, 10);
        if (readByte(s_) != value) return false;
    }
    sendIcsp(s_, INCREMENT_ADDRESS, 0);
    return unlessLost(s_, 0) == 0;
}

}  // namespace ferrolux
