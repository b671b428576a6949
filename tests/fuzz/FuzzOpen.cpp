// Opening any file: the format decision and every reader, on bytes nobody
// vouches for. A finding is a crash, a sanitizer report, a result outside
// the documented set, or a record a host could not read safely.
#include "fuzz/FuzzSupport.h"
#include "support/Session.h"

using namespace zm::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto& workspace = Workspace::Get();
    workspace.WriteInput(data, size);
    zm::test::Session session;
    // Twice on one object, with and without a preferred comment language:
    // the second opening starts from what the first one left behind.
    for (const char* language : {"eng", static_cast<const char*>(nullptr)}) {
        MDRecord* out = nullptr;
        HRESULT hr = session.Open(workspace.input, &out, language);
        bool opened = hr == ZMTAGIO_S_OK || hr == ZMTAGIO_S_FALSE;
        Check(opened || hr == ZMTAGIO_E_FAIL || hr == ZMTAGIO_E_OUTOFMEMORY, "MDInit result", std::to_string(hr));
        Check(opened == (out != nullptr), "the record reaches the host exactly when MDInit succeeds");
        if (!out) continue;
        // One kind of tag per file: a reader never claims what another found.
        Check((out->hasID3v1 || out->hasID3v2) + (out->isOgg != 0) + (out->isASF != 0) <= 1, "flags of two formats");
        ReadLikeAHost(*out);
    }
    session.MDUninit();
    return 0;
}
