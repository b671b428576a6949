/* A host written from the public header alone, as a host developer writes
 * one: it defines the identifiers the documented way, shares one object
 * between threads, edits with string literals and reads the record after
 * saving. Built against the installed package on Linux and against the DLL
 * (created through COM) on Windows; check_saved.py reads what it saved.
 *   zmtagio_host MP3 OGG WMA    changes the files; prints each failed check
 * Exit status 0 when every check held. */
#define ZMTAGIO_DEFINE_GUIDS
#include <zmTagIO.h>

#include <stdio.h>
#include <string.h>

#ifdef _WIN32
#include <objbase.h>
#else
#include <pthread.h>
#endif

#define THREADS 8
#define ROUNDS 100000

static int failures;

static void Check(int held, const char* what) {
    if (held) return;
    printf("FAIL %s\n", what);
    ++failures;
}

static IzmTagIO* Create(void) {
    IzmTagIO* tagio = NULL;
#ifdef _WIN32
    Check(CoCreateInstance(&CLSID_zmTagIO, NULL, CLSCTX_INPROC_SERVER, &IID_IzmTagIO, (void**)&tagio) == S_OK,
          "CoCreateInstance");
#else
    IClassFactory* factory = NULL;
    Check(DllGetClassObject(&CLSID_zmTagIO, &IID_IClassFactory, (void**)&factory) == ZMTAGIO_S_OK,
          "DllGetClassObject");
    if (factory == NULL) return NULL;
    Check(factory->lpVtbl->CreateInstance(factory, NULL, &IID_IzmTagIO, (void**)&tagio) == ZMTAGIO_S_OK,
          "CreateInstance");
    factory->lpVtbl->Release(factory);
#endif
    return tagio;
}

static void Churn(IzmTagIO* tagio) {
    int i;
    for (i = 0; i < ROUNDS; ++i) {
        tagio->lpVtbl->AddRef(tagio);
        tagio->lpVtbl->Release(tagio);
    }
}

#ifdef _WIN32
static DWORD WINAPI ChurnThread(void* tagio) {
    Churn((IzmTagIO*)tagio);
    return 0;
}
#else
static void* ChurnThread(void* tagio) {
    Churn((IzmTagIO*)tagio);
    return NULL;
}
#endif

/* Eight threads AddRef and Release the one object; its count ends where it began. */
static void ShareBetweenThreads(IzmTagIO* tagio) {
    int i;
#ifdef _WIN32
    HANDLE threads[THREADS];
    for (i = 0; i < THREADS; ++i) threads[i] = CreateThread(NULL, 0, ChurnThread, tagio, 0, NULL);
    WaitForMultipleObjects(THREADS, threads, TRUE, INFINITE);
    for (i = 0; i < THREADS; ++i) CloseHandle(threads[i]);
#else
    pthread_t threads[THREADS];
    for (i = 0; i < THREADS; ++i) pthread_create(&threads[i], NULL, ChurnThread, tagio);
    for (i = 0; i < THREADS; ++i) pthread_join(threads[i], NULL);
#endif
    Check(tagio->lpVtbl->AddRef(tagio) == 2, "the count after 8 threads of AddRef and Release");
    Check(tagio->lpVtbl->Release(tagio) == 1, "the count back to 1");
}

/* Whether the field begins with the text (the record may add a closing zero). */
static int Holds(const MDField* field, const char* text, size_t length) {
    return field->size >= (int32_t)length && field->data != NULL && memcmp(field->data, text, length) == 0;
}

static HRESULT Edit(IzmTagIO* tagio, LONG id, LONG kind, const char* literal, size_t length) {
    MDField value;
    memset(&value, 0, sizeof value);
    value.size = (int32_t)length;
    value.data = (uint8_t*)literal; /* read-only memory: the component only reads it */
    return tagio->lpVtbl->MDEditField(tagio, id, &value, kind, "eng", 0, 0);
}

#define LITERAL(text) text, sizeof text - 1

static void SaveAndReadBack(IzmTagIO* tagio, const char* mp3, const char* ogg, const char* wma) {
    MDRecord* record = NULL;
    Check(tagio->lpVtbl->MDInit(tagio, 0, mp3, &record, "eng", 0) == ZMTAGIO_S_OK, "MDInit mp3");
    Check(Edit(tagio, MD_ID3V1_ARTIST, MD_KIND_ID3V1, LITERAL("V1 Artist")) == ZMTAGIO_S_OK, "ID3v1 artist literal");
    Check(Edit(tagio, MD_ID3V2_TRCK, MD_KIND_ID3V2, LITERAL("\x03" "7/12")) == ZMTAGIO_S_OK, "TRCK literal");
    Check(Edit(tagio, MD_ID3V2_TYER, MD_KIND_ID3V2, LITERAL("\x03" "2024")) == ZMTAGIO_S_OK, "TYER literal");
    Check(Edit(tagio, MD_ID3V2_TIT2, MD_KIND_ID3V2, LITERAL("\x03Host \xE2\x98\x83")) == ZMTAGIO_S_OK,
          "encoding-3 title literal");
    Check(tagio->lpVtbl->MDUpdate(tagio, 0) == ZMTAGIO_S_OK, "MDUpdate mp3");
    Check(record != NULL && record->hasID3v2 == 1, "the record read back has an ID3v2 tag");
    if (record != NULL) {
        Check(Holds(&record->fields[MD_ID3V2_TIT2], LITERAL("\x01Host \xE2\x98\x83")), "TIT2 read back");
        Check(Holds(&record->fields[MD_ID3V2_TRCK], LITERAL("\x00" "7/12")), "TRCK read back");
        Check(Holds(&record->fields[MD_ID3V2_TYER], LITERAL("\x00" "2024")), "TYER read back");
    }

    Check(tagio->lpVtbl->MDInit(tagio, 0, ogg, &record, "\0\0\0", 0) == ZMTAGIO_S_OK, "MDInit ogg");
    Check(Edit(tagio, MD_OGG_TITLE, MD_KIND_OGG, LITERAL("Host title")) == ZMTAGIO_S_OK, "Ogg title literal");
    Check(tagio->lpVtbl->MDUpdate(tagio, 0) == ZMTAGIO_S_OK, "MDUpdate ogg");
    Check(record->isOgg == 1 && record->fields[MD_OGG_TITLE].size == 10 &&
              Holds(&record->fields[MD_OGG_TITLE], LITERAL("Host title")),
          "Ogg title read back");

    /* A Windows Media edit reaches the file at once; the update writes every field again. */
    Check(tagio->lpVtbl->MDInit(tagio, 0, wma, &record, "\0\0\0", 0) == ZMTAGIO_S_FALSE, "MDInit wma");
    Check(Edit(tagio, MD_WM_TITLE, MD_KIND_WM, LITERAL("Host title\0")) == ZMTAGIO_S_OK, "Windows Media title literal");
    Check(tagio->lpVtbl->MDUpdate(tagio, 0) == ZMTAGIO_S_OK, "MDUpdate wma");
    Check(record->isASF == 1 && Holds(&record->fields[MD_WM_TITLE], LITERAL("Host title\0")),
          "Windows Media title read back");
    Check(tagio->lpVtbl->MDUninit(tagio) == ZMTAGIO_S_OK, "MDUninit");
}

int main(int argc, char** argv) {
    IzmTagIO* tagio;
    if (argc != 4) {
        fprintf(stderr, "usage: zmtagio_host MP3 OGG WMA\n");
        return 2;
    }
#ifdef _WIN32
    CoInitializeEx(NULL, COINIT_MULTITHREADED);
#endif
    tagio = Create();
    if (tagio != NULL) {
        ShareBetweenThreads(tagio);
        SaveAndReadBack(tagio, argv[1], argv[2], argv[3]);
        Check(tagio->lpVtbl->Release(tagio) == 0, "the last Release");
    }
#ifdef _WIN32
    CoUninitialize();
#endif
    if (failures == 0) printf("host: all checks held\n");
    return failures == 0 ? 0 : 1;
}
