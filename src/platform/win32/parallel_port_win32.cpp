#include "platform/win32/parallel_port_win32.h"

namespace ferrolux::platform {

namespace {

template <typename F>
F function(HMODULE module, const char* name) {
    // GetProcAddress hands out a generic pointer; the library defines its type.
    return reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

}  // namespace

PortIoLibrary::~PortIoLibrary() {
    ::FreeLibrary(module_);
}

std::unique_ptr<PortIoLibrary> PortIoLibrary::load() {
    // Only the library's own folders: never a DLL planted in the current directory.
    const char* const inpout = sizeof(void*) == 8 ? "inpoutx64.dll" : "inpout32.dll";
    for (const char* name : {"DLPORTIO.dll", inpout}) {
        HMODULE module = ::LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
        if (module == nullptr) continue;
        std::unique_ptr<PortIoLibrary> lib(new PortIoLibrary(module, name));
        lib->dlWrite_ = function<DlWriteUshort>(module, "DlPortWritePortUshort");
        lib->dlRead_ = function<DlReadUlong>(module, "DlPortReadPortUlong");
        lib->out32_ = function<InpOut32>(module, "Out32");
        lib->inp32_ = function<InpInp32>(module, "Inp32");
        const bool dl = lib->dlWrite_ != nullptr && lib->dlRead_ != nullptr;
        const bool inp = lib->out32_ != nullptr && lib->inp32_ != nullptr;
        if (dl || inp) return lib;
    }
    return nullptr;
}

bool PortIoLibrary::writeData(std::uint16_t base, std::uint8_t value) {
    // 16 bits at the base: the data register gets the value, the status
    // register (read-only) the high byte 0.
    if (dlWrite_ != nullptr) {
        dlWrite_(base, value);
        return true;
    }
    if (out32_ == nullptr) return false;
    out32_(static_cast<short>(base), value);
    return true;
}

bool PortIoLibrary::readWord(std::uint16_t base, std::uint16_t& word) {
    if (dlRead_ != nullptr) {
        word = static_cast<std::uint16_t>(dlRead_(base) & 0xFFFFu);
        return true;
    }
    if (inp32_ == nullptr) return false;
    const unsigned data = static_cast<unsigned short>(inp32_(static_cast<short>(base))) & 0xFFu;
    const unsigned status =
        static_cast<unsigned short>(inp32_(static_cast<short>(base + 1))) & 0xFFu;
    word = static_cast<std::uint16_t>(data | status << 8);
    return true;
}

}  // namespace ferrolux::platform
