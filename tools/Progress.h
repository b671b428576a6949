// A one-line progress bar on standard error, drawn only when standard error
// is a terminal: redirected output stays free of it.
#pragma once

#include <cstddef>

namespace zmtagio {

class Progress {
public:
    explicit Progress(bool terminal) : terminal_(terminal) {}
    // A bar once the total is known; until then (total 0) the count alone.
    void Draw(size_t done, size_t total);
    // Removes the bar so that other output can take its line.
    void Clear();

private:
    bool terminal_;
    bool drawn_ = false;
};

}  // namespace zmtagio
