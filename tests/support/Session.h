// A concrete tag session for tests that drive CzmTagIO directly, without the
// COM shell: IUnknown answers for itself only.
#pragma once

#include <list>
#include <string>

#include "session/CzmTagIO.h"

namespace zm::test {

class Session final : public CzmTagIO {
public:
    ~Session() override = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
        if (object) *object = this;
        return ZMTAGIO_S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    // MDInit with no preset size and no preferred comment language.
    HRESULT Open(const std::string& path, MDRecord** out, const char* language = nullptr) {
        static const char none[4] = {};
        return MDInit(0, path.c_str(), out, language ? language : none, 0);
    }
    // MDEditField with a value of the given bytes.
    HRESULT Edit(int id, int kind, std::string bytes, const char* language = nullptr) {
        static const char none[4] = {};
        MDField value{};
        std::string& kept = kept_.emplace_back(std::move(bytes));
        value.size = int32_t(kept.size());
        value.data = reinterpret_cast<uint8_t*>(kept.data());
        return MDEditField(id, &value, kind, language ? language : none, 0, 0);
    }

private:
    std::list<std::string> kept_;  // ID3v2 values must outlive MDUpdate
};

}  // namespace zm::test
