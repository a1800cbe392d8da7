// Per-record cost of the installer's log call against spdlog's asynchronous logger writing the
// same records to a file, in the same run, with 1 and 2 calling threads.
#include <benchmark/benchmark.h>
#include <spdlog/async.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>

#include <filesystem>
#include <string>

#include "utility/system/log.h"

namespace fs = std::filesystem;

namespace {

const fs::path& benchDir() {
  static const fs::path dir = [] {
    fs::path d = fs::temp_directory_path() / "tarnwick-log-bench";
    fs::remove_all(d);
    fs::create_directories(d);
    return d;
  }();
  return dir;
}

void openInstallerLog() {
  static bool once = [] {
    common::setLogHook(common::log);
    common::initLog(std::wstring(L"") + (benchDir() / "downloader.log").wstring());
    return true;
  }();
  (void)once;
}

std::shared_ptr<spdlog::logger> spdlogLogger(spdlog::async_overflow_policy policy, const char* name) {
  static bool pool = [] {
    spdlog::init_thread_pool(8192, 1);
    return true;
  }();
  (void)pool;
  auto sink = std::make_shared<spdlog::sinks::basic_file_sink_mt>((benchDir() / (std::string(name) + ".log")).string(), true);
  auto logger = std::make_shared<spdlog::async_logger>(name, sink, spdlog::thread_pool(), policy);
  // The same record layout: date, time with milliseconds, thread id, function, (line):message.
  logger->set_pattern("%m-%d\t%H:%M:%S.%e\t%t\t%v");
  return logger;
}

const std::wstring kUrl = L"https://127.0.0.1:47443/download/package/Tarnwick9.0.exe?campaign=35036";
const std::string kUrlNarrow(kUrl.begin(), kUrl.end());

// The product's log at full speed: once the writer is behind, records are dropped before they
// are even formatted, so this mostly measures the drop path.
void BM_InstallerLogPrint(benchmark::State& state) {
  openInstallerLog();
  const uint64_t acceptedBefore = common::LogWriter::current()->acceptedRecords();
  int i = 0;
  for (auto _ : state) {
    common::logPrint("DownloaderModel::_threadDownloadPlayer", 321, L"progress %d%% of %s, %I64d bytes", i % 100,
                     kUrl.c_str(), static_cast<long long>(i) * 32768);
    ++i;
  }
  state.SetItemsProcessed(state.iterations());
  if (state.thread_index() == 0) {
    state.counters["accepted"] = benchmark::Counter(
        static_cast<double>(common::LogWriter::current()->acceptedRecords() - acceptedBefore));
  }
}

// The whole path of a record that is kept: formatting, UTF-8, header, append under the lock.
// The writer here never falls behind (a backlog limit no benchmark reaches), like spdlog's
// blocking mode that keeps every record.
common::LogWriter* gKeepAll = nullptr;
void BM_InstallerLogPrintKeptRecords(benchmark::State& state) {
  static common::LogWriter* writer = [] {
    common::LogLimits limits;
    limits.threshold = size_t{1} << 40;
    return new common::LogWriter((benchDir() / "kept.log").string(), limits);
  }();
  gKeepAll = writer;
  common::setLogHook([](const char* function, int line, const wchar_t* text) {
    common::LogStream(function, line, gKeepAll) << std::wstring_view(text);
  });
  int i = 0;
  for (auto _ : state) {
    common::logPrint("DownloaderModel::_threadDownloadPlayer", 321, L"progress %d%% of %s, %I64d bytes", i % 100,
                     kUrl.c_str(), static_cast<long long>(i) * 32768);
    ++i;
    if ((i & 0xFFFF) == 0 && state.thread_index() == 0) {
      state.PauseTiming();
      writer->flush(60000);  // keep memory bounded between batches
      state.ResumeTiming();
    }
  }
  state.SetItemsProcessed(state.iterations());
  if (state.thread_index() == 0) common::setLogHook(common::log);
}

template <spdlog::async_overflow_policy Policy>
void BM_SpdlogAsync(benchmark::State& state) {
  static auto logger = spdlogLogger(Policy, Policy == spdlog::async_overflow_policy::block ? "block" : "overrun");
  int i = 0;
  for (auto _ : state) {
    logger->info("DownloaderModel::_threadDownloadPlayer\t({}):progress {}% of {}, {} bytes", 321, i % 100, kUrlNarrow,
                 static_cast<long long>(i) * 32768);
    ++i;
  }
  state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(BM_InstallerLogPrint)->Threads(1)->Threads(2)->UseRealTime();
BENCHMARK(BM_InstallerLogPrintKeptRecords)->Threads(1)->Threads(2)->UseRealTime();
BENCHMARK(BM_SpdlogAsync<spdlog::async_overflow_policy::block>)->Threads(1)->Threads(2)->UseRealTime();
BENCHMARK(BM_SpdlogAsync<spdlog::async_overflow_policy::overrun_oldest>)->Threads(1)->Threads(2)->UseRealTime();

BENCHMARK_MAIN();
