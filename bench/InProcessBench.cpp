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

// ---- status reply ----

void StatusCheck(benchmark::State& state)
{
    const std::string& reply = samples().status;
    for (auto _ : state) {
        StationLinkImpl::checkReply(reply, sampleId);
    }
    perReply(state, reply.size());
}

void StatusDecode(benchmark::State& state)
{
    const std::string& reply = samples().status;
    for (auto _ : state) {
        SystemStatus status;
        StationLinkImpl::processStatusData(reply, status);
        benchmark::DoNotOptimize(status);
    }
    perReply(state, reply.size());
}

void StatusReport(benchmark::State& state)
{
    const SystemStatus& status = samples().decodedStatus;
    for (auto _ : state) {
        std::ostringstream out;
        StationLinkImpl::printSystemStatus(status, out);
        benchmark::DoNotOptimize(out);
    }
    perReply(state, samples().status.size());
}

void StatusAll(benchmark::State& state)
{
    const std::string& reply = samples().status;
    for (auto _ : state) {
        StationLinkImpl::checkReply(reply, sampleId);
        SystemStatus status;
        StationLinkImpl::processStatusData(reply, status);
        std::ostringstream out;
        StationLinkImpl::printSystemStatus(status, out);
        benchmark::DoNotOptimize(out);
    }
    perReply(state, reply.size());
}

// ---- details reply ----

void DetailsCheck(benchmark::State& state)
{
    const std::string& reply = samples().details;
    for (auto _ : state) {
        StationLinkImpl::checkReply(reply, sampleId);
    }
    perReply(state, reply.size());
}

void DetailsDecode(benchmark::State& state)
{
    const std::string& reply = samples().details;
    for (auto _ : state) {
        SystemDetails details;
        StationLinkImpl::processSystemDetails(reply, details);
        benchmark::DoNotOptimize(details);
    }
    perReply(state, reply.size());
}

void DetailsReport(benchmark::State& state)
{
    const SystemDetails& details = samples().decodedDetails;
    for (auto _ : state) {
        std::ostringstream out;
        StationLinkImpl::printSystemDetails(details, out);
        benchmark::DoNotOptimize(out);
    }
    perReply(state, samples().details.size());
}

void DetailsAll(benchmark::State& state)
{
    const std::string& reply = samples().details;
    for (auto _ : state) {
        StationLinkImpl::checkReply(reply, sampleId);
        SystemDetails details;
        StationLinkImpl::processSystemDetails(reply, details);
        std::ostringstream out;
        StationLinkImpl::printSystemDetails(details, out);
        benchmark::DoNotOptimize(out);
    }
    perReply(state, reply.size());
}

} // namespace

BENCHMARK(StatusCheck)->Unit(benchmark::kMicrosecond);
BENCHMARK(StatusDecode)->Unit(benchmark::kMicrosecond);
BENCHMARK(StatusReport)->Unit(benchmark::kMicrosecond);
BENCHMARK(StatusAll)->Unit(benchmark::kMicrosecond);
BENCHMARK(DetailsCheck)->Unit(benchmark::kMicrosecond);
BENCHMARK(DetailsDecode)->Unit(benchmark::kMicrosecond);
BENCHMARK(DetailsReport)->Unit(benchmark::kMicrosecond);
BENCHMARK(DetailsAll)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    // Compose the samples before the clock runs, and print their sizes so
    // that the figures can be read against the bytes on the wire.
    const Samples& s = samples();
    benchmark::AddCustomContext("status_reply_bytes", std::to_string(s.status.size()));
    benchmark::AddCustomContext("details_reply_bytes", std::to_string(s.details.size()));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
