/*
 * zmTagIO - reads and writes the tags of MP3 (ID3v1, ID3v2), Ogg Vorbis and
 * Windows Media (ASF) files.
 *
 * Public interface for hosts, usable from C and C++. The component is one COM
 * class (CLSID_zmTagIO) with one interface (IzmTagIO). A host obtains the class
 * object (CoCreateInstance on Windows, DllGetClassObject on Linux), creates
 * the object, and drives it:
 *
 *   MDInit      open a file, read its tags into an MDRecord owned by the object
 *   MDEditField stage a change of one field (Windows Media: written at once)
 *   MDRemoveTag mark a whole kind of tag to be left out of the file
 *   MDUpdate    rewrite the file with the staged changes
 *   MDUninit    release the record and every buffer
 *
 * Ownership. The object owns the record and every byte a field points at;
 * the host frees nothing it receives. The record and its pointers stay valid
 * until the object's next MDInit, its MDUninit or its last Release.
 *
 * Threads. The class is registered for every apartment ("Both").
 * QueryInterface, AddRef and Release may be called on one object from any
 * number of threads at once. The five MD calls may not: one object takes one
 * of them at a time, and nobody reads its record during one. Separate objects
 * share nothing a host can see and may work on separate threads at once.
 *
 * Identifiers. The GUIDs below are declared here. One source file of a host
 * defines them by including this header after defining ZMTAGIO_DEFINE_GUIDS
 * (or INITGUID), as with other COM headers:
 *
 *   #define ZMTAGIO_DEFINE_GUIDS
 *   #include <zmTagIO.h>
 *
 * Windows hosts must do so. The Linux library also exports them, so there
 * the definition is optional.
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

/* One field slot. What data holds depends on the kind of tag (see MDRecord).
 * Read data only while size > 0; with size 0 the field is absent, deleted or
 * staged, and data may be null or point at anything. */
typedef struct MDField {
    int32_t size;        /* bytes at data; 0: absent, deleted or staged */
    uint8_t* data;       /* the value's bytes, owned by the object */
    char frameId[4];     /* ID3v2: the frame id of the slot's row, version 2.3/2.4 form */
    uint8_t reserved1[2];
    uint16_t frameFlags; /* ID3v2: the two frame flag bytes, first byte high */
    uint8_t reserved2[32];
} MDField;

/* Field ids. One number names different things for different kinds of tags:
 * ID3v2 1..84 (rows of the frame table), Ogg 1..16, Windows Media 1..16,
 * ID3v1 110..116. zmTagIOFieldName names every one. */
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

/* The record shared with the host, owned by the object. A file read gives
 * hasID3v1 and/or hasID3v2, or isOgg, or isASF; edits may set the first three.
 *
 * What a field's data holds, by kind:
 * - ID3v2, the text fields (those zmTagIOIsConvertedField names): the
 *   internal text form, the frame's encoding byte (0 the tag code page, 1 UTF-16 with a
 *   byte-order mark, 2 UTF-16BE) then the text in UTF-8, often with a closing
 *   zero. COMM (50) in encoding 0: 0, 3 language bytes, description, a zero,
 *   text; in encodings 1 and 2 the language is dropped: 1, description, a
 *   zero, text (which may begin with EF BB BF, its byte-order mark). A frame
 *   in encoding 3 (UTF-8) keeps its body as stored, the same form (COMM with
 *   its language, as in encoding 0).
 * - ID3v2, other fields: the frame body as stored (encoding byte first where
 *   the frame has one).
 * - ID3v1: the field's bytes in the 128-byte block, zero-padded, not trimmed.
 * - Ogg: the comment's value in UTF-8, without name, "=" or terminator.
 * - Windows Media: zero-terminated text in the host code page in a 300-byte
 *   buffer; size counts the zero. Field 2 (the encoding time) keeps size 0
 *   although its buffer holds the time as text.
 *
 * After MDEditField, until MDUpdate: an edited ID3v2 field has size 0 (its
 * frame waits inside the object); an edited Ogg field has the new size and a
 * null data; an ID3v1 field points at the new bytes; a Windows Media field
 * holds the value, already in the file. */
typedef struct MDRecord {
    /* The path as passed to MDInit, as far as it fits: a path of 260 bytes
     * or more is cut to 260 and has no terminator here (read it with
     * strnlen(filePath, 260)). The object keeps the whole path itself. */
    char filePath[260];
    uint8_t reserved1[4];
    uint32_t hasID3v1;       /* an ID3v1 block ends the file */
    uint32_t hasID3v2;       /* an ID3v2 tag (version 2, 3 or 4) begins it */
    uint32_t isOgg;          /* an Ogg Vorbis file */
    uint32_t isASF;          /* a Windows Media file; never set with the three above */
    uint8_t reserved2[64];
    uint32_t presetWords[4]; /* 15, 15, 15, 2 once the file is open; never read */
    uint8_t reserved3[60];
    MDField fields[MD_FIELD_COUNT]; /* indexed by MDFieldId */
    uint8_t* tagBuffer;      /* the block the ID3 and Ogg fields point into, or null */
    int16_t id3v2Version;    /* the ID3v2 tag's major version: 2, 3 or 4 */
    uint8_t id3v2Flags;      /* the ID3v2 header's flag byte */
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

/* Declarations, or with ZMTAGIO_DEFINE_GUIDS or INITGUID the definitions
 * (see the top of this file). */
#if defined(ZMTAGIO_DEFINE_GUIDS) || defined(INITGUID)
#ifdef __cplusplus
#define ZMTAGIO_GUID_LINKAGE extern "C"
#else
#define ZMTAGIO_GUID_LINKAGE
#endif
#ifdef _WIN32
#define ZMTAGIO_GUID_SELECTANY DECLSPEC_SELECTANY /* defined in several files, kept once */
#else
#define ZMTAGIO_GUID_SELECTANY
#endif
#define ZMTAGIO_GUID(type, name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
    ZMTAGIO_GUID_LINKAGE ZMTAGIO_EXPORT const type ZMTAGIO_GUID_SELECTANY name = \
        {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}
#else
#define ZMTAGIO_GUID(type, name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
    extern ZMTAGIO_EXPORT const type name
#endif

/* {0704F77E-4754-449B-8682-53C94A123978} */
ZMTAGIO_GUID(IID, IID_IzmTagIO, 0x0704F77E, 0x4754, 0x449B, 0x86, 0x82, 0x53, 0xC9, 0x4A, 0x12, 0x39, 0x78);
/* {D7BC36D7-5776-499A-96A6-297F3182E882} */
ZMTAGIO_GUID(CLSID, CLSID_zmTagIO, 0xD7BC36D7, 0x5776, 0x499A, 0x96, 0xA6, 0x29, 0x7F, 0x31, 0x82, 0xE8, 0x82);
/* {F870C70B-DDF8-40D7-88B6-B459BCCC906D}, the type library */
ZMTAGIO_GUID(GUID, LIBID_TAGIOLib, 0xF870C70B, 0xDDF8, 0x40D7, 0x88, 0xB6, 0xB4, 0x59, 0xBC, 0xCC, 0x90, 0x6D);
#if !defined(_WIN32)
/* The system's own on Windows. */
ZMTAGIO_GUID(IID, IID_IUnknown, 0x00000000, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
ZMTAGIO_GUID(IID, IID_IClassFactory, 0x00000001, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
#endif

#ifdef __cplusplus
} /* extern "C" */
#endif

/* The methods of IzmTagIO, after those of IUnknown; arguments named
 * reserved are ignored. Results: ZMTAGIO_S_OK, ZMTAGIO_E_* below.
 *
 * MDInit(presetSize, path, out, commentLanguage, reserved)
 *   Drops the previous record (its address is dead), reads the file at path
 *   (host code page; Windows: under 260 bytes) and stores the new record's
 *   address in *out (out may be null). commentLanguage: three letters and a
 *   zero, or four zeros (or null), choosing the COMM in field 50.
 *   presetSize 0 probes the file; otherwise the file is taken as untagged,
 *   with a zeroed tagBuffer of that size.
 *   S_OK: ID3 or Ogg tags read. S_FALSE: a Windows Media file (its fields
 *   filled as far as they could be read) or no known tag. E_FAIL (cannot be
 *   read, or a refused path) or E_OUTOFMEMORY: *out untouched, and MDUpdate
 *   refuses to write the file back.
 *
 * MDEditField(id, value, kind, commentLanguage, reserved1, reserved2)
 *   Changes field id of kind (MDTagKind) to value->size bytes at value->data
 *   (value->frameFlags for ID3v2). The bytes are only read, and copied before
 *   the call returns: a string literal will do. size 0 deletes the field.
 *   Only for id 50 (COMM) of a value in an encoding the object does not
 *   convert does the call change value->size, adding the 4 or 7 bytes of the
 *   language prefix written in front of the text.
 *   ID3v1: at most 30 bytes (E_FAIL beyond), and no wider than the field:
 *   year 4, track and genre 1 (E_INVALIDARG beyond). ID3v1 and ID3v2 edits
 *   on an untagged MP3 add those tags.
 *   ID3v2: text in the internal text form, other frames their body. TRCK
 *   and TYER are written in encoding 0, other text in encoding 3 as 1. For
 *   id 50 the comment in commentLanguage is replaced; others stay.
 *   Ogg: UTF-8. Windows Media: text in the host code page with its zero,
 *   counted in size, at most 300 bytes (E_INVALIDARG otherwise); written
 *   into the file at once, and the writer's result returned.
 *   E_INVALIDARG, changing nothing: a kind the record's file cannot take
 *   (ID3 on Ogg or Windows Media, Ogg on other files), an id outside the
 *   kind's range, a null value. E_FAIL: no record. Other kinds: S_OK, no
 *   change.
 *
 * MDRemoveTag(kind, reserved)
 *   Marks kind (1 ID3v1, 2 ID3v2, 3 Ogg comments) to be left out by every
 *   later MDUpdate of this object; nothing unmarks it, not even MDInit.
 *   E_INVALIDARG for a kind outside 0..9.
 *
 * MDUpdate(reserved)
 *   MP3 and Ogg: the file is rebuilt with the staged changes and put in the
 *   path's place at once; the path always holds the whole old or the whole
 *   new file. Windows Media: all fields 1..16 are written into its header.
 *   S_OK: the record, at the same address, holds the file as saved: an MP3
 *   or Ogg file is read back into it with MDInit's language, every pointer
 *   good (should that read fail, the record is left empty and the S_OK
 *   stands); a Windows Media record already held what was written.
 *   Failure (E_FAIL, or the Windows Media writer's result): the file, the
 *   record and the staged changes stay as they were; the call may be retried.
 *
 * MDUninit()
 *   Frees the record and everything the object holds; S_OK. The object can
 *   take another MDInit. The last Release does the same. */

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
/* zmTagIOSetTrace and the code page setters set the whole process: call
 * them before objects work, not while one does. The other exports may be called
 * from any thread at any time. */

/* The one class factory, asked for riid (IID_IClassFactory or IID_IUnknown);
 * CLASS_E_CLASSNOTAVAILABLE for any class but CLSID_zmTagIO. Its
 * CreateInstance aggregates when given an outer unknown, which must then ask
 * for IID_IUnknown (CLASS_E_NOAGGREGATION otherwise). */
ZMTAGIO_EXPORT HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void** object);
/* S_OK once no object, no held factory and no LockServer(TRUE) is left. */
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

/* Nonzero when the record holds field id of that kind of tag in the internal
 * text form (see MDRecord): the ID3v2 text fields. Zero for every other kind
 * and id. */
ZMTAGIO_EXPORT int STDAPICALLTYPE zmTagIOIsConvertedField(LONG kind, LONG id);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* ZMTAGIO_H */
