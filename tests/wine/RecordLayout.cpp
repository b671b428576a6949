// The record and the interface as hosts compiled for Windows see them. This
// file only has to compile: it is built into the Wine client of each width.
#include <cstddef>
#include <type_traits>

#include "zmTagIO.h"

namespace {

constexpr bool k32 = sizeof(void*) == 4;
constexpr size_t kWiden = k32 ? 0 : 4;  // extra bytes of one 64-bit pointer

static_assert(sizeof(MDField) == 48 + kWiden);
static_assert(offsetof(MDField, size) == 0);
static_assert(offsetof(MDField, data) == 4);
static_assert(offsetof(MDField, frameId) == 8 + kWiden);
static_assert(offsetof(MDField, reserved1) == 12 + kWiden);
static_assert(offsetof(MDField, frameFlags) == 14 + kWiden);
static_assert(offsetof(MDField, reserved2) == 16 + kWiden);

static_assert(sizeof(MDRecord) == 6220 + 121 * kWiden);
static_assert(offsetof(MDRecord, filePath) == 0);
static_assert(offsetof(MDRecord, reserved1) == 260);
static_assert(offsetof(MDRecord, hasID3v1) == 264);
static_assert(offsetof(MDRecord, hasID3v2) == 268);
static_assert(offsetof(MDRecord, isOgg) == 272);
static_assert(offsetof(MDRecord, isASF) == 276);
static_assert(offsetof(MDRecord, reserved2) == 280);
static_assert(offsetof(MDRecord, presetWords) == 344);
static_assert(offsetof(MDRecord, reserved3) == 360);
static_assert(offsetof(MDRecord, fields) == 420);
static_assert(offsetof(MDRecord, tagBuffer) == 6180 + 120 * kWiden);
static_assert(offsetof(MDRecord, id3v2Version) == 6184 + 121 * kWiden);
static_assert(offsetof(MDRecord, id3v2Flags) == 6186 + 121 * kWiden);
static_assert(offsetof(MDRecord, reserved4) == 6187 + 121 * kWiden);

// Every argument of the interface is one 32-bit slot on 32-bit Windows.
static_assert(sizeof(ULONG) == 4 && sizeof(LONG) == 4 && sizeof(HRESULT) == 4);
static_assert(sizeof(MDFieldId) == 4 && sizeof(MDTagKind) == 4);
static_assert(sizeof(GUID) == 16);

// The methods use the platform's COM calling convention (__stdcall on 32-bit
// Windows), so a host's own declaration of the interface calls them right.
using MDInitMethod = HRESULT (STDMETHODCALLTYPE IzmTagIO::*)(ULONG, const char*, MDRecord**, const char*, LONG);
using MDEditFieldMethod = HRESULT (STDMETHODCALLTYPE IzmTagIO::*)(LONG, MDField*, LONG, const char*, LONG, LONG);
using MDRemoveTagMethod = HRESULT (STDMETHODCALLTYPE IzmTagIO::*)(LONG, LONG);
using MDUpdateMethod = HRESULT (STDMETHODCALLTYPE IzmTagIO::*)(LONG);
using MDUninitMethod = HRESULT (STDMETHODCALLTYPE IzmTagIO::*)();
static_assert(std::is_same_v<decltype(&IzmTagIO::MDInit), MDInitMethod>);
static_assert(std::is_same_v<decltype(&IzmTagIO::MDEditField), MDEditFieldMethod>);
static_assert(std::is_same_v<decltype(&IzmTagIO::MDRemoveTag), MDRemoveTagMethod>);
static_assert(std::is_same_v<decltype(&IzmTagIO::MDUpdate), MDUpdateMethod>);
static_assert(std::is_same_v<decltype(&IzmTagIO::MDUninit), MDUninitMethod>);

}  // namespace
