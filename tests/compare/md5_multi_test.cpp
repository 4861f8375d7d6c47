// Multi-buffer MD5: the RFC 1321 suite in every lane of every instruction set
// this machine has, and digests equal to the scalar ones for inputs of all
// lengths, ending in any combination of lanes, read short or ending early.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "compare/md5.h"
#include "compare/md5_multi.h"

namespace {

using tw::TMD5Digest;
using tw::TMD5Kernel;

std::string Hex(const TMD5Digest& digest)
{
    return tw::ToUtf8(tw::MD5ToHex(digest));
}

std::string ScalarHex(const std::string& bytes)
{
    return Hex(tw::MD5Of(bytes.data(), bytes.size()));
}

std::string Bytes(std::size_t size, std::uint32_t seed)
{
    std::string bytes(size, '\0');
    std::uint32_t x = seed * 2654435761u + 1;
    for (char& c : bytes) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 23);
    }
    return bytes;
}

// What the harness saw of the streams: how many were open at once, and
// every read request that was not for 4096 bytes.
struct Watch {
    int open = 0;
    int maxOpen = 0;
    std::vector<std::size_t> oddRequests;
};

// Hands out data in reads of at most maxRead bytes. At stopAt it ends (0, as
// the platform reports a read error) or, with fail, throws.
class MemoryStream : public tw::TFileStream {
public:
    MemoryStream(const std::string& data, std::size_t maxRead, std::size_t stopAt, bool fail,
                 Watch& watch)
        : data_(data), maxRead_(maxRead), stopAt_(std::min(stopAt, data.size())), fail_(fail),
          watch_(watch)
    {
        watch_.maxOpen = std::max(watch_.maxOpen, ++watch_.open);
    }
    ~MemoryStream() override { --watch_.open; }

    std::size_t Read(void* buffer, std::size_t count) override
    {
        if (count != 4096)
            watch_.oddRequests.push_back(count);
        if (pos_ == stopAt_ && fail_)
            throw std::runtime_error("read failed");
        const std::size_t n = std::min({count, maxRead_, stopAt_ - pos_});
        std::copy_n(data_.data() + pos_, n, static_cast<char*>(buffer));
        pos_ += n;
        return n;
    }

private:
    const std::string& data_;
    std::size_t maxRead_;
    std::size_t stopAt_;
    bool fail_;
    Watch& watch_;
    std::size_t pos_ = 0;
};

struct Input {
    std::string data;
    std::size_t maxRead = 4096;
    std::size_t stopAt = std::string::npos;  // npos: the whole input
    enum { Read, NoStream, OpenThrows, ReadThrows } kind = Read;
};

// The digests of inputs through kernel, with the stream rules checked.
std::vector<std::string> HashAll(const std::vector<Input>& inputs, TMD5Kernel kernel)
{
    Watch watch;
    const auto digests = tw::MD5OfStreams(
        inputs.size(),
        [&](std::size_t i) -> std::unique_ptr<tw::TFileStream> {
            const Input& in = inputs.at(i);
            if (in.kind == Input::NoStream)
                return nullptr;
            if (in.kind == Input::OpenThrows)
                throw std::runtime_error("open refused");
            return std::make_unique<MemoryStream>(in.data, in.maxRead, in.stopAt,
                                                  in.kind == Input::ReadThrows, watch);
        },
        kernel);
    EXPECT_EQ(digests.size(), inputs.size());
    EXPECT_LE(watch.maxOpen, static_cast<int>(tw::MD5KernelLanes(kernel)));
    EXPECT_EQ(watch.open, 0) << "a stream was left open";
    EXPECT_TRUE(watch.oddRequests.empty()) << "a read asked for " << watch.oddRequests.front();
    std::vector<std::string> texts;
    for (const auto& digest : digests)
        texts.push_back(digest ? Hex(*digest) : "none");
    return texts;
}

// What the scalar code gives for the same input.
std::string Expected(const Input& in)
{
    switch (in.kind) {
    case Input::Read:
        return ScalarHex(in.data.substr(0, in.stopAt));
    default:
        return "none";
    }
}

class MD5MultiTest : public ::testing::TestWithParam<TMD5Kernel> {
protected:
    std::size_t Lanes() const { return tw::MD5KernelLanes(GetParam()); }
};

TEST_P(MD5MultiTest, RfcSuiteInEveryLane)
{
    const std::vector<std::pair<std::string, const char*>> suite = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
        {std::string(1000000, 'a'), "7707d6ae4e027c70eea2a935c2296f21"},
    };
    for (const auto& [message, digest] : suite) {
        for (std::size_t lane = 0; lane < Lanes(); ++lane) {
            // The other lanes carry inputs of their own lengths, so the vector
            // under test ends before, with or after its neighbours.
            std::vector<Input> inputs(Lanes());
            for (std::size_t l = 0; l < Lanes(); ++l)
                inputs[l].data = l == lane ? message : Bytes(l * 61, static_cast<std::uint32_t>(l));
            const std::vector<std::string> got = HashAll(inputs, GetParam());
            SCOPED_TRACE("length " + std::to_string(message.size()) + ", lane " + std::to_string(lane));
            EXPECT_EQ(got[lane], digest);
            for (std::size_t l = 0; l < Lanes(); ++l)
                EXPECT_EQ(got[l], Expected(inputs[l])) << "neighbour in lane " << l;
        }
    }
}

// Every subset of lanes holding a long input while the rest hold short ones,
// so that lanes end, pad and take the next input in every combination.
TEST_P(MD5MultiTest, LanesEndingInEveryCombination)
{
    const std::size_t shortLengths[] = {0, 55, 56, 63, 64, 65, 1, 119};
    const std::size_t longLengths[] = {4096, 4097, 8191, 4095 + 56, 3 * 4096 + 55, 8192 + 64,
                                       4096 + 63, 2 * 4096 + 120};
    for (unsigned mask = 0; mask < (1u << Lanes()); ++mask) {
        std::vector<Input> inputs;
        for (std::size_t l = 0; l < Lanes(); ++l) {
            const bool isLong = (mask >> l & 1) != 0;
            inputs.push_back({Bytes(isLong ? longLengths[l] : shortLengths[l], mask * 16 + l)});
        }
        // One more input than lanes: the first lane to finish takes it.
        inputs.push_back({Bytes(100 + mask, mask)});
        const std::vector<std::string> got = HashAll(inputs, GetParam());
        for (std::size_t i = 0; i < inputs.size(); ++i)
            EXPECT_EQ(got[i], Expected(inputs[i])) << "mask " << mask << ", input " << i;
    }
}

// Random batches: any count, any lengths (the padding boundaries often), reads
// handed over short, streams ending early or failing, inputs that cannot be
// opened. Each digest must be the scalar one, or none where the scalar code
// gives none.
TEST_P(MD5MultiTest, MatchesTheScalarDigestOnRandomBatches)
{
    std::mt19937 random(20240315u + static_cast<unsigned>(GetParam()));
    const std::size_t boundaries[] = {0,    1,    55,   56,   57,   63,   64,   65,   119,  120,
                                      127,  128,  129,  4031, 4032, 4039, 4040, 4095, 4096, 4097,
                                      4159, 4160, 8191, 8192, 8193, 12343, 12344, 16384};
    const std::size_t maxReads[] = {4096, 4096, 4096, 1, 63, 64, 100, 1000, 4095};
    auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };

    for (int trial = 0; trial < 150; ++trial) {
        std::vector<Input> inputs(1 + pick(2 * Lanes() + 2));
        for (Input& in : inputs) {
            const std::size_t length = pick(2) ? boundaries[pick(std::size(boundaries))] : pick(20000);
            in.data = Bytes(length, static_cast<std::uint32_t>(random()));
            in.maxRead = maxReads[pick(std::size(maxReads))];
            switch (pick(12)) {
            case 0:
                in.stopAt = pick(length + 1);  // a read error part-way
                break;
            case 1:
                in.kind = Input::NoStream;
                break;
            case 2:
                in.kind = Input::OpenThrows;
                break;
            case 3:
                in.kind = Input::ReadThrows;
                in.stopAt = pick(length + 1);
                break;
            default:
                break;
            }
        }
        const std::vector<std::string> got = HashAll(inputs, GetParam());
        for (std::size_t i = 0; i < inputs.size(); ++i)
            ASSERT_EQ(got[i], Expected(inputs[i]))
                << "trial " << trial << ", input " << i << " of " << inputs.size() << ", length "
                << inputs[i].data.size() << ", reads of " << inputs[i].maxRead;
    }
}

TEST_P(MD5MultiTest, NoInputs)
{
    EXPECT_TRUE(HashAll({}, GetParam()).empty());
}

std::string KernelName(const ::testing::TestParamInfo<TMD5Kernel>& info)
{
    return tw::MD5KernelName(info.param);
}

INSTANTIATE_TEST_SUITE_P(EveryKernel, MD5MultiTest, ::testing::ValuesIn(tw::AvailableMD5Kernels()),
                         KernelName);

#if defined(__x86_64__)
// Every x86-64 processor has SSE2: a detection that finds none would leave
// the vector lanes untested and the scans slow.
TEST(MD5Kernels, VectorLanesAreFoundOnX86_64)
{
    const std::vector<TMD5Kernel> kernels = tw::AvailableMD5Kernels();
    EXPECT_NE(std::find(kernels.begin(), kernels.end(), TMD5Kernel::SSE2), kernels.end());
    EXPECT_EQ(tw::BestMD5Kernel(), kernels.back());
}
#endif

}  // namespace
