// SHA-256 against the standard test vectors (FIPS 180-4 examples and the
// padding boundaries), fed whole and in pieces.
#include <gtest/gtest.h>

#include <string>

#include "files/sha256.h"

namespace ferrolux::test {
namespace {

TEST(Sha256, StandardVectorsWholeAndInPieces) {
    const struct {
        std::string message;
        const char* digest;
    } rows[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",  // 56 bytes
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrl"
         "mnopqrsmnopqrstnopqrstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        {std::string(55, 'a'),  // the length still fits the last block
         "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
        {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.message.size());
        EXPECT_EQ(sha256Hex(row.message), row.digest);
        Sha256 pieces;
        for (std::size_t at = 0; at < row.message.size(); at += 7)
            pieces.add(std::string_view(row.message).substr(at, 7));
        EXPECT_EQ(pieces.hex(), row.digest);
    }
}

}  // namespace
}  // namespace ferrolux::test
