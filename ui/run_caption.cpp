// The caption and a run's progress in it; see run_caption.h. The time left
// comes from the recent rate, not the whole run's: the system's cache takes
// the first gigabytes faster than the drive can.
#include "ui/run_caption.h"

#include <cstdio>

#include "run/window_text.h"
#include "version.h"

namespace {

const char kCaption[] =
    "Sestor - Generazione combinazioni SuperEnalotto v." SESTOR_VERSION_SHORT;

// The rate is measured over the last ticks, about ten seconds of them, and
// trusted once it spans a few seconds.
constexpr int kSamples = 21;
constexpr ULONGLONG kMeasuredMs = 5000;

struct Sample {
  ULONGLONG time;
  int done;
};

// A run's progress as the caption shows it: written and read by the
// dialog's thread.
bool g_showing = false;
int g_total = 0;
int g_percent = 0;  // the highest shown, so that it never goes back
Sample g_samples[kSamples];
int g_sampled = 0;  // ticks so far; the newest at (g_sampled - 1) % kSamples

// Rounded to what a user plans by: under a minute, minutes, then hours.
void TimeLeftInWords(ULONGLONG ms, char (&words)[32]) {
  const ULONGLONG minutes = (ms + 30000) / 60000;
  const ULONGLONG hours = (minutes + 30) / 60;
  if (ms < 60000) {
    std::snprintf(words, sizeof words, "meno di un minuto");
  } else if (minutes == 1) {
    std::snprintf(words, sizeof words, "circa un minuto");
  } else if (minutes < 60) {
    std::snprintf(words, sizeof words, "circa %llu minuti", minutes);
  } else if (hours == 1) {
    std::snprintf(words, sizeof words, "circa un'ora");
  } else {
    std::snprintf(words, sizeof words, "circa %llu ore", hours);
  }
}

// The time left at the rate of the oldest tick still kept up to the newest;
// false until that spans a few seconds, or while nothing moves.
bool TimeLeft(ULONGLONG* ms) {
  const Sample& newest = g_samples[(g_sampled - 1) % kSamples];
  const Sample& oldest =
      g_samples[g_sampled > kSamples ? g_sampled % kSamples : 0];
  const ULONGLONG span = newest.time - oldest.time;
  if (span < kMeasuredMs || newest.done <= oldest.done) return false;
  *ms = static_cast<ULONGLONG>(g_total - newest.done) * span /
        static_cast<ULONGLONG>(newest.done - oldest.done);
  return true;
}

}  // namespace

void ShowProgramCaption(HWND dialog) {
  g_showing = false;
  SetWindowText1252(dialog, kCaption);
}

void StartCaptionProgress(HWND dialog, int total) {
  g_showing = true;
  g_total = total > 0 ? total : 1;
  g_percent = 0;
  g_sampled = 0;
  ShowCaptionProgress(dialog, 0);
}

void ShowCaptionProgress(HWND dialog, int done) {
  // A tick already posted when the run ended still comes.
  if (!g_showing) return;
  g_samples[g_sampled++ % kSamples] = {GetTickCount64(), done};
  const int percent =
      static_cast<int>(static_cast<long long>(done) * 100 / g_total);
  if (percent > g_percent) g_percent = percent > 100 ? 100 : percent;
  char words[32];
  ULONGLONG left = 0;
  char caption[160];
  if (TimeLeft(&left)) {
    TimeLeftInWords(left, words);
    std::snprintf(caption, sizeof caption, "%d%% - %s - %s", g_percent, words,
                  kCaption);
  } else {
    std::snprintf(caption, sizeof caption, "%d%% - %s", g_percent, kCaption);
  }
  SetWindowText1252(dialog, caption);
}
