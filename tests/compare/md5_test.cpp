// MD5 digests: the RFC 1321 test suite, the padding boundaries, feeding in
// pieces, and hashing a stream that ends early.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "compare/compare_info.h"
#include "compare/md5.h"

namespace {

std::string Hex(const std::string& message)
{
    return tw::ToUtf8(tw::MD5ToHex(tw::MD5Of(message.data(), message.size())));
}

struct Vector {
    std::string message;
    const char* digest;
};

TEST(MD5, KnownDigests)
{
    const std::vector<Vector> vectors = {
        // RFC 1321, appendix A.5.
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
        // Padding boundaries: 55 bytes still fit the length into the last
        // block, 56 need another; 64 and 119 end exactly on or just before one.
        {std::string(55, 'a'), "ef1772b6dff9a122358552954ad0df65"},
        {std::string(56, 'a'), "3b0c8ac703f828b04c6c197006d17218"},
        {std::string(64, 'a'), "014842d480b571495a4a0363793f7367"},
        {std::string(119, 'a'), "8a7bd0732ed6a28ce75f6dabc90e1613"},
        {std::string(1000000, 'a'), "7707d6ae4e027c70eea2a935c2296f21"},
    };
    for (const Vector& v : vectors)
        EXPECT_EQ(Hex(v.message), v.digest) << "length " << v.message.size();
}

TEST(MD5, PiecesGiveTheSameDigestAsOneCall)
{
    std::string message(1000, '\0');
    for (std::size_t i = 0; i < message.size(); ++i)
        message[i] = static_cast<char>(i * 131 + 7);
    const tw::TMD5Digest whole = tw::MD5Of(message.data(), message.size());

    for (std::size_t piece : {1, 3, 55, 63, 64, 65, 127, 999}) {
        tw::TMD5 md5;
        for (std::size_t at = 0; at < message.size(); at += piece)
            md5.Update(message.data() + at, std::min(piece, message.size() - at));
        EXPECT_EQ(md5.Final(), whole) << "pieces of " << piece;
    }
}

// Yields data in reads of at most maxRead bytes, then reports the end (0) at
// stopAt as the platform does for a read error part-way through a file.
class FakeStream : public tw::TFileStream {
public:
    FakeStream(std::string data, std::size_t maxRead, std::size_t stopAt)
        : data_(std::move(data)), maxRead_(maxRead), stopAt_(std::min(stopAt, data_.size())) {}

    std::size_t Read(void* buffer, std::size_t count) override
    {
        const std::size_t n = std::min({count, maxRead_, stopAt_ - pos_});
        std::copy_n(data_.data() + pos_, n, static_cast<char*>(buffer));
        pos_ += n;
        return n;
    }

private:
    std::string data_;
    std::size_t maxRead_;
    std::size_t stopAt_;
    std::size_t pos_ = 0;
};

TEST(MD5, StreamDigestCoversWhatWasReadBeforeTheEnd)
{
    std::string data(10000, '\0');
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i % 251);

    struct Case {
        std::size_t maxRead;
        std::size_t stopAt;
    };
    const Case cases[] = {
        {4096, 10000},  // whole file, the last read short
        {1000, 10000},  // the platform hands over less than asked for
        {4096, 5000},   // read error part-way
        {4096, 4096},   // error right after the first block
        {4096, 0},      // error on the first read: digest of nothing
    };
    for (const Case& c : cases) {
        FakeStream stream(data, c.maxRead, c.stopAt);
        EXPECT_EQ(tw::ToUtf8(tw::GetStreamMD5(stream)), Hex(data.substr(0, c.stopAt)))
            << "reads of " << c.maxRead << ", end at " << c.stopAt;
    }
}

}  // namespace
