// Core storage: SipHash-1-3 and the random source of its keys, the
// reference counting of shared sources, the pool of reused blocks, UTF-8
// validation and whole files read as text.
// The errors callers see are checked through read_file in the Python tests;
// here, what they cannot set up.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/random_bytes.h"
#include "storage/block_pool.h"
#include "storage/file_text.h"
#include "storage/siphash.h"
#include "storage/text_ref.h"
#include "storage/utf8_validate.h"

namespace plovane {
namespace {

// Published SipHash-1-3 vectors: key bytes 00..0f, message n = bytes 0..n-1,
// output as eight little-endian bytes.
const char* const kSip13Vectors[64] = {
    "dcc40f055801acab", "93ca577df39bf4c9", "4dd4c74d029bcb82", "fbf7dde7b80af88b",
    "2883d388605775cf", "673b53492fd5f9de", "a7229fc5502b0dc5", "4011b19b987d92d3",
    "8e9a298d11959036", "e43d066cb38ea425", "7f09ff92ee85de79", "52c34df9c118c170",
    "a2d9b457b184a378", "a7ff29120c766f30", "345df9c011a15a60", "5699512a6dd820d3",
    "668b907d1add4fcc", "0cd8db639068f29c", "3ee673b49c38fc8f", "1c7d298de59d1ff2",
    "40e0cca6462fdcc0", "44f8452bfeab92b9", "2e8720a39b7bfe7f", "23c1e6da7f0e5a52",
    "8c9c3467b2ae64f4", "79095b702859cd45", "a51399cae3353e3a", "353bde4a4ec71da9",
    "0dd06cef02ed0bfb", "f4e1b14ab43cd988", "63e6c543d6110f54", "bcd1218c1fdd7023",
    "0db6a7166c7b1581", "bff98f7ae5b9544d", "3e752a1f78129f75", "916b18bfbea3a1ce",
    "0662a2add308f52c", "5730c3a32d1c10b6", "a1363aae9674f4b3", "9283107b54576b62",
    "3115e4993236d2c1", "44d91a3f92c17c66", "258813c8fe4f7065", "a64989c2d180f224",
    "6b87f8faed1ccac2", "9621049ffc4b16c2", "23d6b168939c6ea1", "fd14518b9c16fb49",
    "464c07dff843319f", "b386cc1224affdc6", "8f09520ad149af7e", "9a2f299d5513f31c",
    "121ff4a2dd304ac4", "d01ea74389e9fa36", "e6bcf0734cb38f31", "80e9a77036bf7aa2",
    "756d3c24dbc0bcb4", "1315b7fd52d8f823", "088a7da64d5f038f", "48f1e8b7e5d09cd8",
    "ee44a6f7bce6f4f6", "f237180fd89ac5ae", "e094664b15f6b2c3", "a8b3bbb76290199d",
};

uint64_t little_endian_hex(const std::string& hex) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | std::stoull(hex.substr(2 * i, 2), nullptr, 16);
    return v;
}

TEST(SipHash13, PublishedVectors) {
    const HashKeys keys{0x0706050403020100ULL, 0x0f0e0d0c0b0a0908ULL};
    std::string message;
    for (int n = 0; n < 64; ++n) {
        EXPECT_EQ(siphash13(keys, message), little_endian_hex(kSip13Vectors[n])) << "length " << n;
        message.push_back(static_cast<char>(n));
    }
}

// The hash keys come from the system's random source, which must say that
// it filled the buffer: a false failure puts keys from the clock in their
// place, which are far easier to guess.
TEST(RandomBytes, FilledFromTheSystemSource) {
    uint8_t first[32] = {}, second[32] = {};
    ASSERT_TRUE(fill_random(first, sizeof first));
    ASSERT_TRUE(fill_random(second, sizeof second));
    EXPECT_NE(std::memcmp(first, second, sizeof first), 0);
}

TEST(SharedSource, SpansCountAcrossThreadsAndReleaseTheOwnerOnce) {
    static int released = 0;
    static void* seen_owner = nullptr;
    int owner_token = 0;
    const char text[] = "shared document";
    SourceRef source =
        SharedSource::borrowed(text, sizeof text - 1, &owner_token, [](void* o) noexcept {
            ++released;
            seen_owner = o;
        });
    {
        TextRef a = TextRef::span(source, 0, 3);
        TextRef b = a;
        TextRef moved = std::move(a);
        EXPECT_EQ(source->use_count(), 3u);
        EXPECT_EQ(b.view().data(), moved.view().data());
    }
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&source] {
            std::vector<TextRef> refs;
            for (int i = 0; i < 10000; ++i) refs.push_back(TextRef::span(source, 0, 6));
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(source->use_count(), 1u);
    EXPECT_EQ(released, 0);
    source = SourceRef();
    EXPECT_EQ(released, 1);
    EXPECT_EQ(seen_owner, &owner_token);
}

bool valid(const std::string& s) {
    return is_valid_utf8(s.data(), s.size());
}

// Threads take blocks of a few sizes, fill them with a byte of their own,
// and give them back; a block handed to two of them at once, or one smaller
// than asked for (whose filling runs into others), shows in the bytes. More
// is given at the start than the pool keeps: the rest must be freed (the
// sanitizer build reports a leak otherwise).
TEST(BlockPool, NeverHandsOneBlockToTwoHolders) {
    const size_t sizes[] = {size_t{16} << 10, size_t{64} << 10, (size_t{64} << 10) + 16};
    std::vector<void*> many;
    for (size_t i = 0; i < 200; ++i) many.push_back(take_block(sizes[i % 3]));
    for (size_t i = 0; i < 200; ++i) give_block(many[i], sizes[i % 3]);
    auto work = [&sizes](size_t id, bool& ok) {
        std::vector<std::pair<char*, size_t>> held;
        for (size_t round = 0; round < 1500; ++round) {
            const size_t bytes = sizes[(round + id) % 3];
            auto* block = static_cast<char*>(take_block(bytes));
            ASSERT_NE(block, nullptr);
            std::memset(block, static_cast<int>('a' + id), bytes);
            held.push_back({block, bytes});
            if (held.size() < 4) continue;
            for (const auto& [b, n] : held) {
                ok = ok && std::string_view(b, n).find_first_not_of(static_cast<char>('a' + id)) ==
                               std::string_view::npos;
                give_block(b, n);
            }
            held.clear();
        }
        for (const auto& [b, n] : held) give_block(b, n);
    };
    bool ok[4] = {true, true, true, true};
    std::vector<std::thread> threads;
    for (size_t id = 0; id < 4; ++id) threads.emplace_back(work, id, std::ref(ok[id]));
    for (std::thread& t : threads) t.join();
    for (bool each : ok) EXPECT_TRUE(each);
}

TEST(Utf8Validate, SequencesAtEveryOffset) {
    const std::string good[] = {"",
                                "plain",
                                "\xC2\x80",
                                "\xDF\xBF",
                                "\xE0\xA0\x80",
                                "\xED\x9F\xBF",
                                "\xEE\x80\x80",
                                "\xEF\xBF\xBF",
                                "\xF0\x90\x80\x80",
                                "\xF4\x8F\xBF\xBF",
                                std::string(100, '\0'),
                                "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"};
    // Lone continuations, overlong forms, surrogates U+D800 and U+DFFF, above
    // U+10FFFF, invalid bytes, truncated sequences, bad continuations.
    const std::string bad[] = {
        "\x80",         "\xBF",         "\xC0\x80",         "\xC1\xBF",
        "\xE0\x80\x80", "\xE0\x9F\xBF", "\xF0\x80\x80\x80", "\xF0\x8F\xBF\xBF",
        "\xED\xA0\x80", "\xED\xBF\xBF", "\xF4\x90\x80\x80", "\xF5\x80\x80\x80",
        "\xFF",         "\xC3",         "\xE2\x82",         "\xF0\x9F\x98",
        "\xC3\x28",     "\xE2\x28\xAC", "\xE2\x82\x28",     "\xF0\x9F\x98\x28"};
    for (bool expected : {true, false}) {
        for (const std::string& s :
             expected ? std::span<const std::string>(good) : std::span<const std::string>(bad)) {
            EXPECT_EQ(valid(s), expected) << s;
            for (size_t pad = 0; pad < 40; ++pad) {
                const std::string padded = std::string(pad, 'a') + s + std::string(40 - pad, 'b');
                EXPECT_EQ(valid(padded), expected) << s;
            }
        }
    }
    for (size_t pad = 0; pad < 40; ++pad) {
        const std::string s = std::string(pad, 'x') + "\xE2\x82\xAC";
        EXPECT_TRUE(valid(s));
        EXPECT_FALSE(is_valid_utf8(s.data(), s.size() - 1));
        EXPECT_FALSE(is_valid_utf8(s.data(), s.size() - 2));
    }
}

TEST(FileText, ReadsTheWholeFileWhateverSizeItReportsAndRefusesInvalidUtf8) {
    std::string large;
    for (int i = 0; large.size() < 300000; ++i) large += "<e i=\"" + std::to_string(i) + "\"/>\n";
    // Small files and invalid UTF-8 early in a file are read in tests/python/test_read.py.
    const std::pair<std::string, bool> files[] = {
        {"", true}, {large, true}, {large + "\xE2\x82", false}};
    for (const auto& [bytes, valid] : files) {
        char path[] = "/tmp/plovane-file-text-XXXXXX";
        close(mkstemp(path));
        std::ofstream(path, std::ios::binary) << bytes;
        auto result = read_text_file(path);
        std::remove(path);
        if (!valid) {
            ASSERT_FALSE(result);
            EXPECT_EQ(result.error().message(), "stream did not contain valid UTF-8");
        } else {
            ASSERT_TRUE(result);
            EXPECT_EQ(result.value()->text(), bytes);
            EXPECT_EQ(result.value()->use_count(), 1u);
        }
    }
    // /proc files report size 0 but have content.
    auto result = read_text_file("/proc/self/status");
    ASSERT_TRUE(result);
    EXPECT_NE(result.value()->text().find("Name:"), std::string_view::npos);
    EXPECT_EQ(result.value()->text().back(), '\n');
}

}  // namespace
}  // namespace plovane
