// Fuzzes composing the receipt: the input bytes are ten counts (int32, little-endian, any value;
// missing bytes read as 0) and then a byte whose lowest bit is the takeout answer. The receipt is
// checked against the text built here word by word with std::u16string.
#include "receipt.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace nuporaku;

namespace {

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "receipt_fuzz: %s\n", what);
    __builtin_trap();
}

void check(bool holds, const char* what)
{
    if (!holds) fail(what);
}

// The receipt as the order gives it, word by word, built only until it is past the capacity:
// enough to know the whole text when it fits, and which word is the first that cannot.
struct ExpectedText {
    std::u16string text;
    std::vector<std::size_t> word_ends;  // offset just after each word, increasing
};

ExpectedText expected_text(const OrderRecord& order, bool takeout)
{
    ExpectedText expected;
    for (std::size_t i = 0; i < menu_size; ++i) {
        const std::u16string_view word = i == smile_index ? laughter_word(takeout) : menu_labels[i];
        for (std::int64_t n = 0; n < order.counts[i] && expected.text.size() < receipt_capacity; ++n) {
            expected.text += word;
            expected.word_ends.push_back(expected.text.size());
        }
    }
    return expected;
}

void check_receipt(const OrderRecord& order, bool takeout, const ReceiptText& receipt)
{
    check(receipt.length < receipt_capacity, "the text leaves no room for its terminator");
    check(receipt.units[receipt.length] == u'\0', "the text is not terminated at its length");

    const ExpectedText expected = expected_text(order, takeout);
    const std::u16string_view text = receipt.view();
    if (expected.text.size() < receipt_capacity) {  // everything fits, terminator included
        check(text == expected.text, "the receipt differs from the order's words");
        return;
    }
    // Full: as many whole words as fit, in order, and then nothing more.
    check(expected.text.starts_with(text), "a full receipt is not the start of the order's words");
    const auto& ends = expected.word_ends;
    const auto next = std::upper_bound(ends.begin(), ends.end(), text.size());
    check(text.empty() || next != ends.begin(), "a full receipt has no whole word");
    check(text.empty() || *(next - 1) == text.size(), "a full receipt ends inside a word");
    check(next != ends.end(), "a full receipt is longer than its order");
    check(*next >= receipt_capacity, "a full receipt left out a word that would have fit");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::uint8_t bytes[4 * menu_size + 1] = {};
    std::memcpy(bytes, data, std::min(size, sizeof bytes));

    OrderRecord order;
    for (std::size_t i = 0; i < menu_size; ++i) {
        const std::uint32_t raw = static_cast<std::uint32_t>(bytes[4 * i]) |
                                  static_cast<std::uint32_t>(bytes[4 * i + 1]) << 8 |
                                  static_cast<std::uint32_t>(bytes[4 * i + 2]) << 16 |
                                  static_cast<std::uint32_t>(bytes[4 * i + 3]) << 24;
        order.counts[i] = static_cast<std::int32_t>(raw);
    }
    const bool takeout = (bytes[4 * menu_size] & 1) != 0;

    // On the heap, so that ASan sees a write past the object; left uninitialised and then filled
    // with rubbish, so that composing has to start from the empty text by itself.
    std::unique_ptr<ReceiptText> receipt(new ReceiptText);
    receipt->units.fill(u'\xFFFF');
    receipt->length = receipt_capacity + 0x1234;

    compose_receipt(order, takeout, *receipt);
    check_receipt(order, takeout, *receipt);
    return 0;
}
