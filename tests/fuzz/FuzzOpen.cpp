// Opening any file: the format decision and every reader. A finding is a crash, a sanitizer
// report, a result outside the documented set, or a record a host could not read safely.
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    zm::fuzz::Workspace::Get().WriteInput(data, size);
    zm::test::Session session;
    MDRecord* out;
    // Twice on one object, with and without a comment language: the second starts from the first's state.
    zm::fuzz::OpenChecked(session, out, "eng");
    zm::fuzz::OpenChecked(session, out, nullptr);
    session.MDUninit();
    return 0;
}
