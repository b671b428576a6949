// The command line's hold on the component: one session object, reached
// through the exported class object like any other host.
#pragma once

#include <memory>
#include <string>

#include "zmTagIO.h"

namespace zmtagio {

// A comment language as the interface takes it: three letters and a zero,
// or four zeros for "no preference".
struct Language {
    char bytes[4] = {};
};

class TagSession {
public:
    // Null when the class object or the instance cannot be had.
    static std::unique_ptr<TagSession> Create();
    ~TagSession();
    TagSession(const TagSession&) = delete;
    TagSession& operator=(const TagSession&) = delete;

    // The record stays valid until the next Open or the session's end; on a
    // failure it is null.
    HRESULT Open(const std::string& path, const Language& language);
    const MDRecord* Record() const { return record_; }

    HRESULT Edit(LONG kind, LONG id, MDField& value, const Language& language);
    HRESULT Remove(LONG kind);
    HRESULT Update();

private:
    explicit TagSession(IzmTagIO* object) : object_(object) {}
    IzmTagIO* object_;
    MDRecord* record_ = nullptr;
};

bool Failed(HRESULT hr);
// "S_OK", "E_FAIL", ... or the hexadecimal form for a result without a name.
std::string ResultName(HRESULT hr);
std::string ResultHex(HRESULT hr);

}  // namespace zmtagio
