/* Prints the title of an audio file, read through the zmTagIO component.
 *   show_title FILE
 * Also builds without CMake: cc show_title.c $(pkg-config --cflags --libs zmtagio) */
#include <stdio.h>

/* One source file of a host defines the component's identifiers. */
#define ZMTAGIO_DEFINE_GUIDS
#include <zmTagIO.h>

static IzmTagIO* CreateTagIO(void) {
    IClassFactory* factory = NULL;
    IzmTagIO* tagio = NULL;
    if (DllGetClassObject(&CLSID_zmTagIO, &IID_IClassFactory, (void**)&factory) < 0) return NULL;
    factory->lpVtbl->CreateInstance(factory, NULL, &IID_IzmTagIO, (void**)&tagio);
    factory->lpVtbl->Release(factory);
    return tagio;
}

/* Each kind of tag keeps its title in its own slot and form. */
static void PrintTitle(const MDRecord* record) {
    const MDField* field;
    if (record->hasID3v2 && record->fields[MD_ID3V2_TIT2].size > 1) {
        field = &record->fields[MD_ID3V2_TIT2]; /* the encoding byte, then UTF-8 */
        printf("%.*s\n", (int)field->size - 1, (const char*)field->data + 1);
    } else if (record->isOgg && record->fields[MD_OGG_TITLE].size > 0) {
        field = &record->fields[MD_OGG_TITLE]; /* UTF-8 */
        printf("%.*s\n", (int)field->size, (const char*)field->data);
    } else if (record->isASF && record->fields[MD_WM_TITLE].size > 0) {
        printf("%s\n", (const char*)record->fields[MD_WM_TITLE].data); /* zero-terminated */
    } else if (record->hasID3v1 && record->fields[MD_ID3V1_TITLE].size > 0) {
        field = &record->fields[MD_ID3V1_TITLE]; /* 30 bytes, zero-padded */
        printf("%.*s\n", (int)field->size, (const char*)field->data);
    } else {
        printf("(no title)\n");
    }
}

int main(int argc, char** argv) {
    static const char noLanguage[4] = {0};
    MDRecord* record = NULL;
    IzmTagIO* tagio;
    HRESULT hr;
    if (argc != 2) {
        fprintf(stderr, "usage: show_title FILE\n");
        return 2;
    }
    tagio = CreateTagIO();
    if (tagio == NULL) return 1;
    hr = tagio->lpVtbl->MDInit(tagio, 0, argv[1], &record, noLanguage, 0);
    if (hr >= 0) PrintTitle(record);
    else fprintf(stderr, "%s: cannot read tags (0x%08X)\n", argv[1], (unsigned)hr);
    tagio->lpVtbl->MDUninit(tagio);
    tagio->lpVtbl->Release(tagio);
    return hr >= 0 ? 0 : 1;
}
