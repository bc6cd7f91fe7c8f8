// The station's composer under random setter sequences. Every reply it
// composes must parse as JSON and carry exactly the values set (texts come
// back unchanged because the composer escapes them); the library's reply
// check and decoders must read the same values back. Appending is bounded
// and all or nothing: a refused fragment changes no byte, an accepted one
// writes nothing past its terminating zero.
#include "Decoders.h"
#include "Reply.h"
#include "ReplyTree.h"
#include "RoundTripOracle.h"
#include "StationLinkImpl.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

using ravenlink::json;
using roundtrip::StoreModel;

namespace {

void expect(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

// A text built from whole characters: ASCII (controls, quote and backslash
// included) and UTF-8 sequences of two, three and four bytes. The slot keeps
// the longest run of whole characters within 31 bytes, up to the first zero.
void makeText(FuzzedDataProvider& in, std::string& raw, std::string& kept)
{
    static const char* const wide[] = {"\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80"};
    const std::size_t count = in.ConsumeIntegralInRange<std::size_t>(0, 40);
    bool ended = false;
    for (std::size_t i = 0; i < count && in.remaining_bytes() > 0; ++i) {
        const uint8_t b = in.ConsumeIntegral<uint8_t>();
        const std::string unit = b < 0xE0 ? std::string(1, static_cast<char>(b & 0x7F)) : std::string(wide[b % 3]);
        raw += unit;
        if (unit[0] == '\0') {
            ended = true;
        }
        if (!ended && kept.size() + unit.size() <= SC_TEXT_CAPACITY - 1) {
            kept += unit;
        } else {
            ended = true;
        }
    }
}

// The setter sequence: which rows of the table change, and to what.
void applySetters(FuzzedDataProvider& in, StoreModel& model)
{
    const std::size_t steps = in.ConsumeIntegralInRange<std::size_t>(0, 200);
    for (std::size_t i = 0; i < steps && in.remaining_bytes() > 0; ++i) {
        const std::size_t row = in.ConsumeIntegralInRange<std::size_t>(0, sc_value_count - 1);
        if (sc_values[row].kind != SC_KIND_TEXT) {
            model.setNumber(row, in.ConsumeIntegral<uint32_t>());
        } else if (in.ConsumeIntegralInRange<int>(0, 15) == 0) {
            model.setText(row, nullptr, ""); // stores the empty text
        } else {
            std::string raw;
            std::string kept;
            makeText(in, raw, kept);
            model.setText(row, raw.c_str(), kept);
        }
    }
}

// ---- composing, with the bounds checked at every step ----

constexpr unsigned char untouched = 0x5A;

// What each fragment measures with the store as this input left it. The
// measure depends on the store alone, and the store does not change once
// the setters have run, so each part is measured once per input; every
// append is still held against it. (Measuring is a whole dry run of the
// fragment, and the free-form sequences append up to 64 of them.)
class PartLengths {
public:
    void forget() { known.fill(false); }
    std::size_t of(sc_part part)
    {
        if (!known[part]) {
            lengths[part] = sc_measure(part);
            known[part] = true;
        }
        return lengths[part];
    }

private:
    std::array<std::size_t, SC_PART_COUNT> lengths{};
    std::array<bool, SC_PART_COUNT> known{};
};

PartLengths partLengths;

struct Composed {
    std::array<char, SC_MESSAGE_CAPACITY> buffer;
    std::array<char, SC_MESSAGE_CAPACITY> before; // the buffer as it was before the last step
    bool complete = true;

    Composed()
    {
        buffer.fill(static_cast<char>(untouched));
        buffer[0] = '\0';
    }

    // \p keepsText: the text already there stays where it was (appending;
    // wrapping moves it by one).
    void checkAppend(sc_result result, std::size_t need, bool keepsText = true)
    {
        const std::size_t used = std::strlen(before.data());
        if (result == SC_OK) {
            // Exactly the fragment and its zero; nothing behind it.
            expect(used + need + 1 <= buffer.size());
            expect(!keepsText || std::memcmp(buffer.data(), before.data(), used) == 0);
            expect(std::strlen(buffer.data()) == used + need);
            const std::size_t end = used + need + 1;
            expect(std::memcmp(buffer.data() + end, before.data() + end, buffer.size() - end) == 0);
            return;
        }
        expect(result == SC_ERR_NO_ROOM);
        expect(need > buffer.size() - 1 - used);
        expect(std::memcmp(buffer.data(), before.data(), buffer.size()) == 0);
        complete = false;
    }

    void append(sc_part part)
    {
        if (!complete) {
            return;
        }
        before = buffer;
        const std::size_t need = partLengths.of(part);
        checkAppend(sc_append(part, buffer.data(), buffer.size()), need);
    }

    void wrap()
    {
        if (!complete) {
            return;
        }
        before = buffer;
        checkAppend(sc_wrap(buffer.data(), buffer.size()), 2, false);
        if (complete) {
            const std::size_t length = std::strlen(buffer.data());
            expect(buffer[0] == '{' && buffer[length - 1] == '}');
            expect(std::memcmp(buffer.data() + 1, before.data(), length - 2) == 0);
        }
    }

    std::string text() const { return std::string(buffer.data()); }
};

// The reply a station sends: "COM", a comma, one member, in braces.
Composed composeReply(sc_part member)
{
    Composed reply;
    reply.append(SC_PART_COM);
    reply.append(SC_PART_COMMA);
    reply.append(member);
    reply.wrap();
    return reply;
}

// ---- reading the replies back ----
//
// Every reply is parsed once, as a link parses it on its way to a record:
// the reply check, the decoder under test and the oracle read the same
// tree. The oracle looks only at the status reply, whose members no decoder
// reads in full (extended values, "COM", member counts), and at the short
// details replies; "COM" is composed alike for every reply. A parse is most
// of what an input costs, so none is repeated.

using ravenlink::protocol::Reply;
using ravenlink::protocol::treeOf;

json parsed(const std::string& reply)
{
    json root;
    expect(ravenlink::parseReply(reply, root));
    return root;
}

void checkStatusReply(const std::string& text, const StoreModel& model)
{
    const Reply reply(text);
    expect(reply.wellFormed());
    expect(roundtrip::replyMismatch(treeOf(reply), SC_KEY_SYSTEM_STATUS, model).empty());
    SystemStatus decoded;
    ravenlink::protocol::decodeStatus(reply, decoded);
    expect(decoded == roundtrip::expectedStatus(model));
}

// The details decoder reads every value of the details reply.
void checkDetailsReply(const std::string& text, const StoreModel& model)
{
    SystemDetails decoded;
    ravenlink::protocol::decodeDetails(Reply(text), decoded);
    expect(decoded == roundtrip::expectedDetails(model));
}

// The configuration reply always fits, so it also carries the reply
// check's verdict on "COM_STATUS".
void checkConfigReply(const std::string& text, const StoreModel& model)
{
    const int64_t comStatus = model.number(SC_KEY_COM, SC_KEY_COM_STATUS);
    const bool refused = comStatus >= 1 && comStatus <= 5;
    const Reply reply(text);
    try {
        ravenlink::protocol::checkReply(reply, static_cast<uint16_t>(model.number(SC_KEY_COM, SC_KEY_MSG_ID)));
        expect(!refused);
    } catch (const HALVERN::DataException&) {
        expect(refused);
    }
    SystemConfig decoded{};
    ravenlink::protocol::decodeConfig(reply, decoded);
    expect(decoded == roundtrip::expectedConfig(model));
}

// "SYSTEM_DETAILS" holding a single member, as the short details replies do.
const json& singleDetail(const json& root, const StoreModel& model)
{
    expect(root.is_object() && root.size() == 2 && roundtrip::groupMismatch(root, SC_KEY_COM, model).empty());
    const json* details = ravenlink::findObject(root, SC_KEY_SYSTEM_DETAILS);
    expect(details != nullptr && details->size() == 1);
    return *details;
}

void checkSmallDetailsReplies(const StoreModel& model)
{
    Composed protocol = composeReply(SC_PART_PROTOCOL_VERSION);
    expect(protocol.complete); // short and fixed: always fits
    int major = 0, minor = 0, patch = 0;
    StationLinkImpl::parseProtocolVersion(protocol.text(), major, minor, patch);
    expect(major == 1 && minor == 20 && patch == 20);

    Composed hw = composeReply(SC_PART_HW_VERSION);
    expect(hw.complete);
    const json hwRoot = parsed(hw.text());
    const json& hwDetail = singleDetail(hwRoot, model);
    const auto hwVersion = hwDetail.find(sc_key_text[SC_KEY_HW_VERSION]);
    expect(hwVersion != hwDetail.end());
    const std::size_t row = roundtrip::rowOf(SC_KEY_SYSTEM_DETAILS, SC_KEY_HW_VERSION);
    expect(roundtrip::valueMismatch(*hwVersion, row, model).empty());

    Composed sw = composeReply(SC_PART_SW_VERSION_DETAILS);
    expect(sw.complete);
    const json swRoot = parsed(sw.text());
    expect(roundtrip::groupMismatch(singleDetail(swRoot, model), SC_KEY_SW_VERSION, model).empty());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    // Every input starts from the defaults. Reading them back through the
    // table is the same every time, so it is done once.
    static const StoreModel defaults = [] {
        sc_reset_store();
        return StoreModel::current();
    }();
    sc_reset_store();
    StoreModel model = defaults;
    applySetters(in, model);
    partLengths.forget();

    Composed status = composeReply(SC_PART_SYSTEM_STATUS);
    if (status.complete) {
        checkStatusReply(status.text(), model);
    }
    Composed details = composeReply(SC_PART_SYSTEM_DETAILS);
    if (details.complete) {
        checkDetailsReply(details.text(), model);
    }
    Composed config = composeReply(SC_PART_SYSTEM_CONFIG);
    expect(config.complete);
    checkConfigReply(config.text(), model);
    checkSmallDetailsReplies(model);

    // Free-form sequences of fragments: not JSON, but every append must keep
    // to the buffer and be all or nothing, up to the exact fit.
    Composed any;
    for (int parts = 0; parts < 64 && in.remaining_bytes() > 0; ++parts) {
        const int pick = in.ConsumeIntegralInRange<int>(0, SC_PART_COUNT);
        any.complete = true;
        if (pick == SC_PART_COUNT) {
            any.wrap();
        } else {
            any.append(static_cast<sc_part>(pick));
        }
    }
    return 0;
}
