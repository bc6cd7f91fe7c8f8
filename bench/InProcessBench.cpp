// What one reply costs on the console's side once its bytes are in: the
// reply check, the decoding into the record and the report text, for a full
// status reply (every group, extended mode) and a full details reply.
// Replies per second per core is the items_per_second column.
#include "StationLinkImpl.h"
#include "StationSample.h"

#include <benchmark/benchmark.h>

#include <sstream>
#include <string>

namespace {

constexpr std::uint16_t sampleId = 40217;

struct Samples {
    std::string status;
    std::string details;
    SystemStatus decodedStatus;
    SystemDetails decodedDetails;

    Samples()
    {
        ravenlink_bench::fillStationStore();
        status = ravenlink_bench::statusReply(sampleId);
        details = ravenlink_bench::detailsReply(sampleId);
        // A sample that the library rejects would measure the error path.
        StationLinkImpl::checkReply(status, sampleId);
        StationLinkImpl::checkReply(details, sampleId);
        StationLinkImpl::processStatusData(status, decodedStatus);
        StationLinkImpl::processSystemDetails(details, decodedDetails);
    }
};

const Samples& samples()
{
    static const Samples s;
    return s;
}

void perReply(benchmark::State& state, std::size_t bytes)
{
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

// One kind of reply: its sample, the record decoded from it, and the
// library's steps on it.
template <typename Record>
struct ReplyKind {
    const char* name;
    const std::string Samples::*reply;
    const Record Samples::*decoded;
    void (*decode)(const std::string& data, Record& record);
    void (*print)(const Record& record, std::ostream& out);
};

const ReplyKind<SystemStatus> statusReply{"Status", &Samples::status, &Samples::decodedStatus,
                                          StationLinkImpl::processStatusData, StationLinkImpl::printSystemStatus};
const ReplyKind<SystemDetails> detailsReply{"Details", &Samples::details, &Samples::decodedDetails,
                                            StationLinkImpl::processSystemDetails, StationLinkImpl::printSystemDetails};

template <typename Record>
void check(benchmark::State& state, const ReplyKind<Record>& kind)
{
    const std::string& reply = samples().*kind.reply;
    for (auto _ : state) {
        StationLinkImpl::checkReply(reply, sampleId);
    }
    perReply(state, reply.size());
}

template <typename Record>
void decode(benchmark::State& state, const ReplyKind<Record>& kind)
{
    const std::string& reply = samples().*kind.reply;
    for (auto _ : state) {
        Record record;
        kind.decode(reply, record);
        benchmark::DoNotOptimize(record);
    }
    perReply(state, reply.size());
}

template <typename Record>
void report(benchmark::State& state, const ReplyKind<Record>& kind)
{
    const Record& record = samples().*kind.decoded;
    for (auto _ : state) {
        std::ostringstream out;
        kind.print(record, out);
        benchmark::DoNotOptimize(out);
    }
    perReply(state, (samples().*kind.reply).size());
}

template <typename Record>
void all(benchmark::State& state, const ReplyKind<Record>& kind)
{
    const std::string& reply = samples().*kind.reply;
    for (auto _ : state) {
        StationLinkImpl::checkReply(reply, sampleId);
        Record record;
        kind.decode(reply, record);
        std::ostringstream out;
        kind.print(record, out);
        benchmark::DoNotOptimize(out);
    }
    perReply(state, reply.size());
}

// <Kind>Check, <Kind>Decode, <Kind>Report and <Kind>All, the names
// bench/figures.py reads.
template <typename Record>
void registerSteps(const ReplyKind<Record>& kind)
{
    const std::string name = kind.name;
    benchmark::RegisterBenchmark((name + "Check").c_str(), check<Record>, kind)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark((name + "Decode").c_str(), decode<Record>, kind)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark((name + "Report").c_str(), report<Record>, kind)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark((name + "All").c_str(), all<Record>, kind)->Unit(benchmark::kMicrosecond);
}

} // namespace

int main(int argc, char** argv)
{
    // Compose the samples before the clock runs, and print their sizes so
    // that the figures can be read against the bytes on the wire.
    const Samples& s = samples();
    benchmark::AddCustomContext("status_reply_bytes", std::to_string(s.status.size()));
    benchmark::AddCustomContext("details_reply_bytes", std::to_string(s.details.size()));
    registerSteps(statusReply);
    registerSteps(detailsReply);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
