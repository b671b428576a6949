// A concrete tag session for tests that drive CzmTagIO without the COM shell: IUnknown answers only for itself.
#pragma once

#include <list>
#include <string>

#include "session/CzmTagIO.h"

namespace zm::test {

class Session final : public CzmTagIO {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
        if (object) *object = this;
        return ZMTAGIO_S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    // MDInit with no preset size and no preferred comment language.
    HRESULT Open(const std::string& path, MDRecord** out, const char* language = nullptr) {
        return MDInit(0, path.c_str(), out, language ? language : kNone, 0);
    }
    // MDEditField with the given bytes, kept for the session: ID3v2 values must outlive MDUpdate.
    HRESULT Edit(int id, int kind, std::string bytes, const char* language = nullptr) {
        std::string& kept = kept_.emplace_back(std::move(bytes));
        MDField value{};
        value.size = int32_t(kept.size());
        value.data = reinterpret_cast<uint8_t*>(kept.data());
        return MDEditField(id, &value, kind, language ? language : kNone, 0, 0);
    }

private:
    static constexpr char kNone[4] = {};
    std::list<std::string> kept_;
};

}  // namespace zm::test
