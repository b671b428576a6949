/*
 * zmTagIO - reads and writes the tags of MP3 (ID3v1, ID3v2), Ogg Vorbis and
 * Windows Media (ASF) files.
 *
 * Public interface for hosts, usable from C and C++. The component is one COM
 * class (CLSID_zmTagIO) with one interface (IzmTagIO). A host obtains the class
 * object with DllGetClassObject, creates the object, and drives it:
 *
 *   MDInit      open a file, read its tags into an MDRecord owned by the object
 *   MDEditField stage a change of one field (Windows Media: written at once)
 *   MDRemoveTag mark a whole kind of tag to be left out of the file
 *   MDUpdate    rewrite the file with the staged changes
 *   MDUninit    release the record and every buffer
 *
 * The record is read in place; its layout below is a binary contract.
 *
 * Record layout. Every structure is packed (no padding). With 32-bit pointers
 * sizeof(MDField) == 48 and sizeof(MDRecord) == 6220; with 64-bit pointers the
 * two pointer members widen to 8 bytes and nothing else changes:
 *
 *   MDField                   32-bit   64-bit
 *     size                         0        0
 *     data                         4        4
 *     frameId                      8       12
 *     reserved1                   12       16
 *     frameFlags                  14       18
 *     reserved2                   16       20
 *     sizeof                      48       52
 *
 *   MDRecord                  32-bit   64-bit
 *     filePath                     0        0
 *     hasID3v1                   264      264
 *     hasID3v2                   268      268
 *     isOgg                      272      272
 *     isASF                      276      276
 *     presetWords                344      344
 *     fields                     420      420
 *     tagBuffer                 6180     6660
 *     id3v2Version              6184     6668
 *     id3v2Flags                6186     6670
 *     sizeof                    6220     6704
 */
#ifndef ZMTAGIO_H
#define ZMTAGIO_H

#include <stddef.h>
#include <stdint.h>

#ifdef _WIN32
#include <windows.h>
#include <unknwn.h>
#define ZMTAGIO_EXPORT
typedef HANDLE zmTagIOHandle;
#else
/* The few COM types the interface needs, laid out as on Windows. */
typedef int32_t HRESULT;
typedef uint32_t ULONG;
typedef int32_t LONG;
typedef int BOOL;
typedef struct _GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
} GUID;
typedef GUID IID;
typedef GUID CLSID;
#ifdef __cplusplus
#define REFIID const IID&
#define REFCLSID const CLSID&
#else
#define REFIID const IID*
#define REFCLSID const CLSID*
#endif
#define STDMETHODCALLTYPE
#define STDAPICALLTYPE
#define ZMTAGIO_EXPORT __attribute__((visibility("default")))
typedef int zmTagIOHandle; /* a file descriptor */
#endif

#define ZMTAGIO_S_OK ((HRESULT)0)
#define ZMTAGIO_S_FALSE ((HRESULT)1)
#define ZMTAGIO_E_FAIL ((HRESULT)0x80004005L)
#define ZMTAGIO_E_OUTOFMEMORY ((HRESULT)0x8007000EL)
#define ZMTAGIO_E_POINTER ((HRESULT)0x80004003L)
#define ZMTAGIO_E_NOINTERFACE ((HRESULT)0x80004002L)
#define ZMTAGIO_E_INVALIDARG ((HRESULT)0x80070057L)
#define ZMTAGIO_CLASS_E_CLASSNOTAVAILABLE ((HRESULT)0x80040111L)
#define ZMTAGIO_CLASS_E_NOAGGREGATION ((HRESULT)0x80040110L)
/* The Windows Media engine's "attribute not found". */
#define ZMTAGIO_ASF_E_NOTFOUND ((HRESULT)0xC00D07F0L)
/* MDUpdate: another update holds the file (the system's sharing violation). */
#define ZMTAGIO_E_SHARINGVIOLATION ((HRESULT)0x80070020L)
/* MDUpdate: the file changed since MDInit read it; nothing was written (the
   system's "file no longer valid"). MDInit the file again to edit it. */
#define ZMTAGIO_E_FILECHANGED ((HRESULT)0x800703EEL)

#ifdef __cplusplus
extern "C" {
#endif

#pragma pack(push, 1)

/* One field slot. */
typedef struct MDField {
    int32_t size;        /* bytes at data; 0: absent or deleted */
    uint8_t* data;       /* the value's bytes (no implied terminator, but Windows Media text) */
    char frameId[4];     /* ID3v2: the frame id of the slot's row, version 2.3/2.4 form */
    uint8_t reserved1[2];
    uint16_t frameFlags; /* ID3v2: the two frame flag bytes, first byte high */
    uint8_t reserved2[32];
} MDField;

/* Field ids. One number names different things for different kinds of tags:
 * ID3v2 1..84 (rows of the frame table), Ogg 1..16, Windows Media 1..16,
 * ID3v1 110..116. */
typedef enum MDFieldId {
    MD_ID3V2_TALB = 1, MD_ID3V2_TCON = 4, MD_ID3V2_TDRC = 9, MD_ID3V2_TIT2 = 17,
    MD_ID3V2_TPE1 = 30, MD_ID3V2_TRCK = 37, MD_ID3V2_APIC = 48, MD_ID3V2_COMM = 50,
    MD_ID3V2_TYER = 84,
    MD_OGG_TITLE = 1, MD_OGG_ALBUM = 3, MD_OGG_TRACKNUMBER = 4, MD_OGG_ARTIST = 5,
    MD_OGG_GENRE = 11, MD_OGG_DATE = 12, MD_OGG_COMMENT = 16,
    MD_WM_ALL = 0, MD_WM_TITLE = 1, MD_WM_ENCODINGTIME = 2, MD_WM_YEAR = 5,
    MD_WM_TRACKNUMBER = 6, MD_WM_GENRE = 7, MD_WM_DESCRIPTION = 10, MD_WM_ALBUMTITLE = 13,
    MD_WM_AUTHOR = 14,
    MD_ID3V1_TITLE = 110, MD_ID3V1_ARTIST = 111, MD_ID3V1_ALBUM = 112, MD_ID3V1_YEAR = 113,
    MD_ID3V1_COMMENT = 114, MD_ID3V1_TRACK = 115, MD_ID3V1_GENRE = 116
} MDFieldId;

#define MD_FIELD_COUNT 120

/* The kind of tag that MDEditField and MDRemoveTag name. */
typedef enum MDTagKind {
    MD_KIND_ID3V1 = 1,
    MD_KIND_ID3V2 = 2,
    MD_KIND_OGG = 3,
    MD_KIND_WM = 4
} MDTagKind;

/* The record shared with the host, owned by the object. */
typedef struct MDRecord {
    char filePath[260];     /* as passed to MDInit; a path of 260 bytes has no terminator */
    uint8_t reserved1[4];
    uint32_t hasID3v1;
    uint32_t hasID3v2;
    uint32_t isOgg;
    uint32_t isASF;
    uint8_t reserved2[64];
    uint32_t presetWords[4]; /* 15, 15, 15, 2 once the file is open */
    uint8_t reserved3[60];
    MDField fields[MD_FIELD_COUNT];
    uint8_t* tagBuffer;
    int16_t id3v2Version;
    uint8_t id3v2Flags;
    uint8_t reserved4[33];
} MDRecord;

#pragma pack(pop)

#ifdef __cplusplus
#define ZMTAGIO_STATIC_ASSERT static_assert
#else
#define ZMTAGIO_STATIC_ASSERT _Static_assert
#endif
ZMTAGIO_STATIC_ASSERT(offsetof(MDRecord, fields) == 420, "MDRecord layout");
ZMTAGIO_STATIC_ASSERT(sizeof(MDField) == 44 + sizeof(void*), "MDField layout");
/* 120 field pointers and the tag buffer pointer widen with the platform. */
ZMTAGIO_STATIC_ASSERT(sizeof(MDRecord) == 6220 + 121 * (sizeof(void*) - 4), "MDRecord size");

/* ---- The interface ---------------------------------------------------- */

/* {0704F77E-4754-449B-8682-53C94A123978} */
extern ZMTAGIO_EXPORT const IID IID_IzmTagIO;
/* {D7BC36D7-5776-499A-96A6-297F3182E882} */
extern ZMTAGIO_EXPORT const CLSID CLSID_zmTagIO;
/* {F870C70B-DDF8-40D7-88B6-B459BCCC906D} */
extern ZMTAGIO_EXPORT const GUID LIBID_TAGIOLib;

#if !defined(_WIN32)
/* {00000000-0000-0000-C000-000000000046} and {00000001-0000-0000-C000-000000000046} */
extern ZMTAGIO_EXPORT const IID IID_IUnknown;
extern ZMTAGIO_EXPORT const IID IID_IClassFactory;
#endif

#ifdef __cplusplus
} /* extern "C" */
#endif

#if defined(__cplusplus) && !defined(CINTERFACE)

#if !defined(_WIN32)
struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
protected:
    ~IUnknown() = default;
};

struct IClassFactory : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) = 0;
    virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) = 0;
protected:
    ~IClassFactory() = default;
};
#endif

struct IzmTagIO : public IUnknown {
    /* presetSize 0: probe the file; otherwise treat it as untagged with a
     * zeroed tag buffer of that size. commentLanguage: three letters and a
     * zero, or four zeros. */
    virtual HRESULT STDMETHODCALLTYPE MDInit(ULONG presetSize, const char* path, MDRecord** out,
                                             const char* commentLanguage, LONG reserved) = 0;
    virtual HRESULT STDMETHODCALLTYPE MDEditField(LONG id, MDField* value, LONG kind,
                                                  const char* commentLanguage, LONG reserved1,
                                                  LONG reserved2) = 0;
    virtual HRESULT STDMETHODCALLTYPE MDRemoveTag(LONG kind, LONG reserved) = 0;
    virtual HRESULT STDMETHODCALLTYPE MDUpdate(LONG reserved) = 0;
    virtual HRESULT STDMETHODCALLTYPE MDUninit() = 0;
protected:
    ~IzmTagIO() = default;
};

#else /* C */

typedef struct IzmTagIO IzmTagIO;
typedef struct IzmTagIOVtbl {
    HRESULT(STDMETHODCALLTYPE* QueryInterface)(IzmTagIO* self, REFIID riid, void** object);
    ULONG(STDMETHODCALLTYPE* AddRef)(IzmTagIO* self);
    ULONG(STDMETHODCALLTYPE* Release)(IzmTagIO* self);
    HRESULT(STDMETHODCALLTYPE* MDInit)(IzmTagIO* self, ULONG presetSize, const char* path,
                                       MDRecord** out, const char* commentLanguage, LONG reserved);
    HRESULT(STDMETHODCALLTYPE* MDEditField)(IzmTagIO* self, LONG id, MDField* value, LONG kind,
                                            const char* commentLanguage, LONG reserved1,
                                            LONG reserved2);
    HRESULT(STDMETHODCALLTYPE* MDRemoveTag)(IzmTagIO* self, LONG kind, LONG reserved);
    HRESULT(STDMETHODCALLTYPE* MDUpdate)(IzmTagIO* self, LONG reserved);
    HRESULT(STDMETHODCALLTYPE* MDUninit)(IzmTagIO* self);
} IzmTagIOVtbl;
struct IzmTagIO {
    const IzmTagIOVtbl* lpVtbl;
};

#if !defined(_WIN32)
typedef struct IClassFactory IClassFactory;
typedef struct IClassFactoryVtbl {
    HRESULT(STDMETHODCALLTYPE* QueryInterface)(IClassFactory* self, REFIID riid, void** object);
    ULONG(STDMETHODCALLTYPE* AddRef)(IClassFactory* self);
    ULONG(STDMETHODCALLTYPE* Release)(IClassFactory* self);
    HRESULT(STDMETHODCALLTYPE* CreateInstance)(IClassFactory* self, void* outer, REFIID riid,
                                               void** object);
    HRESULT(STDMETHODCALLTYPE* LockServer)(IClassFactory* self, BOOL lock);
} IClassFactoryVtbl;
struct IClassFactory {
    const IClassFactoryVtbl* lpVtbl;
};
#endif

#endif /* C++ / C */

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Exports ----------------------------------------------------------- */

ZMTAGIO_EXPORT HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void** object);
ZMTAGIO_EXPORT HRESULT STDAPICALLTYPE DllCanUnloadNow(void);
/* Windows: registers the class and the type library. Linux has no registry:
 * both return S_OK and do nothing. */
ZMTAGIO_EXPORT HRESULT STDAPICALLTYPE DllRegisterServer(void);
ZMTAGIO_EXPORT HRESULT STDAPICALLTYPE DllUnregisterServer(void);

/* Tracing is off at load. enabled != 0 with a handle open for writing makes
 * every trace line ("MDInit <path>", ...) go to that handle, each ending in a
 * space and a line feed. The handle stays the host's; pass 0 to stop. */
ZMTAGIO_EXPORT void STDAPICALLTYPE zmTagIOSetTrace(int enabled, zmTagIOHandle handle);

/* Two code pages, each set on its own:
 * - the tag code page, of 8-bit tag text: ID3 text stored as ISO-8859-1
 *   (encoding 0) and ID3v1 fields. Linux default: 1252 (1251 suits old
 *   Cyrillic tags, for instance).
 * - the host code page, of the text the record shares with the host: paths
 *   and Windows Media values (at most 299 bytes each, cut at a character
 *   boundary). Linux default: UTF-8 (65001).
 * Other code pages (936, 950, 932, 949, 1250-1258, 28591, 65001...) are
 * accepted when the system can convert them. The setters return S_OK, or
 * E_INVALIDARG for a code page that cannot be used (the current one stays).
 * On Windows both are the system's ANSI code page: the getters return it and
 * the setters E_INVALIDARG for anything but 0. */
ZMTAGIO_EXPORT HRESULT STDAPICALLTYPE zmTagIOSetCodePage(uint32_t codePage);
ZMTAGIO_EXPORT uint32_t STDAPICALLTYPE zmTagIOGetCodePage(void);
ZMTAGIO_EXPORT HRESULT STDAPICALLTYPE zmTagIOSetHostCodePage(uint32_t codePage);
ZMTAGIO_EXPORT uint32_t STDAPICALLTYPE zmTagIOGetHostCodePage(void);

/* The name of field id for a kind of tag: the ID3v2 frame id ("TIT2"), the
 * Ogg comment name ("TITLE"), the Windows Media attribute ("Title"), or for
 * ID3v1 one of "title", "artist", "album", "year", "comment", "track",
 * "genre". NULL for an id the kind does not use. */
ZMTAGIO_EXPORT const char* STDAPICALLTYPE zmTagIOFieldName(LONG kind, LONG id);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* ZMTAGIO_H */
