// txt_find, txt_replace and txt_split over a 16 MiB GBK corpus of mixed Chinese
// and ASCII text, each next to memmem doing the same byte search.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>

#include "base/codepage.h"
#include "base/text.h"

namespace {

using quill::Text;

constexpr std::size_t kCorpusBytes = 16u << 20;

// Lines of keywords and titles as a template or an answer holds them: Chinese
// words, ASCII words and numbers, "," between items, CR LF between lines.
const Text& corpus() {
  static const Text text = [] {
    const char* words[] = {"女装", "连衣裙", "毛衣", "男鞋",    "手机壳", "包邮",  "正品",
                           "新款", "夏季",   "韩版", "TinyURL", "price",  "2012",  "<li>",
                           "href", "item",   "shop", "880.00",  "HTML",   "Taobao"};
    std::vector<Text> gbk_words;
    for (const char* w : words) gbk_words.push_back(quill::gbk(w));
    std::mt19937 rng(936);
    std::uniform_int_distribution<std::size_t> pick(0, gbk_words.size() - 1), line_length(4, 16);
    Text out;
    out.reserve(kCorpusBytes + 256);
    while (out.size() < kCorpusBytes) {
      for (std::size_t i = 0, n = line_length(rng); i < n; ++i) {
        if (i) out += (i % 3 == 0) ? "," : " ";
        out += gbk_words[pick(rng)];
      }
      out += "\r\n";
    }
    out.resize(kCorpusBytes);
    return out;
  }();
  return text;
}

// Absent from the corpus: its letters and bytes occur everywhere, the whole does not.
const Text& absent_needle() {
  static const Text needle = quill::gbk("女装连衣裙X");
  return needle;
}

// Near the end only.
Text with_needle_near_end() {
  Text text = corpus();
  const Text& needle = absent_needle();
  text.replace(text.size() - 1000, needle.size(), needle);
  return text;
}

void set_bytes(benchmark::State& state, std::size_t bytes) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(bytes));
}

std::size_t memmem_count(const Text& text, std::string_view needle) {
  std::size_t count = 0;
  const char* p = text.data();
  const char* end = text.data() + text.size();
  while (const void* hit = memmem(p, static_cast<std::size_t>(end - p), needle.data(), needle.size())) {
    ++count;
    p = static_cast<const char*>(hit) + needle.size();
  }
  return count;
}

void BM_memmem_absent(benchmark::State& state) {
  const Text& text = corpus();
  for (auto _ : state)
    benchmark::DoNotOptimize(
        memmem(text.data(), text.size(), absent_needle().data(), absent_needle().size()));
  set_bytes(state, text.size());
}

void BM_txt_find_absent(benchmark::State& state) {
  const Text& text = corpus();
  for (auto _ : state) benchmark::DoNotOptimize(quill::txt_find(text, absent_needle()));
  set_bytes(state, text.size());
}

void BM_txt_find_near_end(benchmark::State& state) {
  static const Text text = with_needle_near_end();
  int found = 0;
  for (auto _ : state) benchmark::DoNotOptimize(found = quill::txt_find(text, absent_needle()));
  if (found != static_cast<int>(text.size()) - 999) state.SkipWithError("needle not found where placed");
  set_bytes(state, text.size());
}

// The same search for every occurrence that replace and split do.
void BM_memmem_all(benchmark::State& state, std::string_view needle) {
  const Text& text = corpus();
  for (auto _ : state) benchmark::DoNotOptimize(memmem_count(text, needle));
  set_bytes(state, text.size());
}

void BM_txt_replace_all(benchmark::State& state, std::string_view find, std::string_view with) {
  const Text& text = corpus();
  for (auto _ : state) benchmark::DoNotOptimize(quill::txt_replace(text, find, with));
  set_bytes(state, text.size());
}

void BM_txt_split(benchmark::State& state, std::string_view separator) {
  const Text& text = corpus();
  for (auto _ : state) benchmark::DoNotOptimize(quill::txt_split(text, separator));
  set_bytes(state, text.size());
}

// The list alone, from item ends found beforehand: one owned string per item is
// the floor under any split.
void BM_text_list_only(benchmark::State& state, std::string_view separator) {
  const Text& text = corpus();
  std::vector<std::size_t> ends;
  for (std::size_t p = 0; (p = text.find(separator, p)) != Text::npos; p += separator.size())
    ends.push_back(p);
  for (auto _ : state) {
    quill::TextList items;
    items.reserve(ends.size());
    std::size_t begin = 0;
    for (std::size_t end : ends) {
      items.emplace_back(text.data() + begin, end - begin);
      begin = end + separator.size();
    }
    benchmark::DoNotOptimize(items);
  }
  state.counters["items"] = static_cast<double>(ends.size());
  set_bytes(state, text.size());
}

BENCHMARK(BM_memmem_absent)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_txt_find_absent)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_txt_find_near_end)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_memmem_all, gbk_word, quill::gbk("连衣裙"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_txt_replace_all, gbk_word, quill::gbk("连衣裙"), quill::gbk("半身裙"))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_txt_replace_all, longer, quill::gbk("连衣裙"), quill::gbk("半身连衣裙"))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_memmem_all, crlf, "\r\n")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_txt_split, crlf, "\r\n")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_text_list_only, crlf, "\r\n")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_memmem_all, comma, ",")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_txt_split, comma, ",")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_text_list_only, comma, ",")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
