// Taking out the zeros that unsynchronisation inserted, and finding where an
// undone byte stood in the file, against the plain definition on inputs made
// of little but FF and 00.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "id3/Unsync.h"

namespace zm::id3 {
namespace {

using Bytes = std::vector<uint8_t>;

// The definition: a 00 right after an FF was inserted. Also where each kept
// byte stood.
Bytes Undone(const Bytes& original, std::vector<size_t>* positions) {
    Bytes out;
    for (size_t i = 0; i < original.size(); ++i) {
        if (i > 0 && original[i] == 0 && original[i - 1] == 0xFF) continue;
        out.push_back(original[i]);
        positions->push_back(i);
    }
    return out;
}

TEST(UnsyncTest, UndoAndOffsetsFollowTheDefinition) {
    const uint8_t alphabet[] = {0x00, 0xFF, 0xFF, 0xE0, 0x41};
    std::mt19937 random(15);
    for (int round = 0; round < 2000; ++round) {
        Bytes original(random() % 40);
        for (uint8_t& b : original) b = alphabet[random() % std::size(alphabet)];
        std::vector<size_t> positions;
        Bytes expected = Undone(original, &positions);

        Bytes bytes = original;
        size_t length = UndoUnsynchronisation(bytes);
        ASSERT_EQ(Bytes(bytes.begin(), bytes.begin() + long(length)), expected) << round;
        for (size_t k = 0; k < expected.size(); ++k)
            ASSERT_EQ(OffsetBeforeUndo(original, k), positions[k]) << round << " offset " << k;
        ASSERT_EQ(OffsetBeforeUndo(original, expected.size()), original.size()) << round;
    }
}

}  // namespace
}  // namespace zm::id3
