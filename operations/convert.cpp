#include "operations/convert.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <thread>

#include "audio/any_audio.h"
#include "audio/mp3_decoder.h"
#include "audio/mp3_encoder.h"
#include "audio/wav.h"
#include "i18n/language_table.h"
#include "operations/generate.h"
#include "operations/control_window.h"
#include "operations/reason.h"
#include "operations/size_check.h"
#include "platform/file.h"
#include "platform/text.h"

namespace tesvano {

bool DecodeInput(IMainWindow& w, int rate, const std::string& input, PcmBuffer* pcm, ConvertResult* result) {
    CAudioDecodeMp3 decoder(input, rate, 1);
    const int rc = decoder.Decode();
    if (rc == kDecodeFileError) {
        result->fileError = decoder.LastErrno() != 0 ? decoder.LastErrno() : EIO;
        return false;
    }
    if (rc < 0) {
        w.AppendLog(CLanguageTable::Instance().GetText("MP3_DECODE_FAILED"));
        return false;
    }
    *pcm = decoder.TakeOutput();
    // Not MPEG audio (WAV, FLAC, Ogg, M4A, a video's sound track): FFmpeg's
    // libraries read it, and a file they cannot read stays at 0 PCM bytes.
    if (pcm->empty()) {
        AnyAudioDecode other = DecodeAnyAudio(input, rate);
        if (other.status == kDecodeFileError) {
            result->fileError = other.fileError != 0 ? other.fileError : EIO;
            return false;
        }
        if (other.status != kDecodeOk) {
            w.AppendLog(CLanguageTable::Instance().GetText("MP3_DECODE_FAILED"));
            if (!other.problem.empty()) w.LogFormat("%s", other.problem.c_str());
            return false;
        }
        *pcm = std::move(other.pcm);
    }
    // The log line carries int lengths, as the window always showed them.
    w.LogFormat("%s%d PCM Bytes, %d MP3 Bytes.\n", GetAnsiText("MP3_DECODE_OK").c_str(), static_cast<int>(pcm->size()),
                static_cast<int>(GetFileSize32(input)));
    // Nothing decodable: writing would only give an empty file (or replace
    // the input with one), so the pipeline stops after its decode line.
    return !pcm->empty();
}

namespace {

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// A window that keeps what a conversion on a worker thread reports (log
// lines, boxes, files to open), to replay it into the real window in order.
class BufferedLogWindow : public ControlWindow {
public:
    void AppendLog(const std::u16string& text) override { events_.push_back({Kind::kLog, text, {}}); }
    void MessageBox(const std::u16string& text, const std::u16string& caption) override {
        events_.push_back({Kind::kBox, text, caption});
    }
    bool ChooseFile(const std::u16string&, const std::u16string&, std::u16string*) override { return false; }
    bool ChooseFiles(const std::u16string&, const std::u16string&, std::vector<std::u16string>*) override {
        return false;
    }
    bool ChooseFolder(const std::u16string&, const std::u16string&, std::u16string*) override { return false; }
    void OpenWithDesktop(const std::u16string& path) override { events_.push_back({Kind::kOpen, path, {}}); }

    void Clear() { std::vector<Event>().swap(events_); }

    void ReplayInto(IMainWindow& w) const {
        for (const auto& e : events_) {
            if (e.kind == Kind::kLog) w.AppendLog(e.text);
            else if (e.kind == Kind::kBox) w.MessageBox(e.text, e.caption);
            else w.OpenWithDesktop(e.text);
        }
    }

private:
    enum class Kind { kLog, kBox, kOpen };
    struct Event {
        Kind kind;
        std::u16string text, caption;
    };
    std::vector<Event> events_;
};

std::string OutputFor(const ConvertBatch& batch, const std::string& input) {
    const std::string name = FileNameOf(input);
    return batch.saveDir + "/" + (batch.kind == ConvertKind::kMp3 ? Mp3NameFor(name) : WavNameFor(name));
}

ConvertResult ConvertOne(IMainWindow& w, const ConvertBatch& batch, const std::string& input) {
    const std::string output = OutputFor(batch, input);
    switch (batch.kind) {
    case ConvertKind::kWav:
        return ConvertToWavFile(w, batch.rate, input, output);
    case ConvertKind::kALaw:
        return ConvertToG711File(w, G711Law::kALaw, input, output);
    case ConvertKind::kMuLaw:
        return ConvertToG711File(w, G711Law::kMuLaw, input, output);
    case ConvertKind::kMp3:
        break;
    }
    return ConvertToMp3File(w, batch.rate, input, output, batch.open);
}

OpResult Combine(OpResult sofar, OpResult next) {
    if (sofar == OpResult::kFailed || next == OpResult::kFailed) return OpResult::kFailed;
    if (sofar == OpResult::kOverLimit || next == OpResult::kOverLimit) return OpResult::kOverLimit;
    return OpResult::kDone;
}

// Inputs refused before anything is written, with the line that says why.
using Refusals = std::vector<std::u16string>;

OpResult ConvertInParallel(IMainWindow& w, const std::vector<std::string>& inputs, const ConvertBatch& batch,
                           const Refusals& refused) {
    struct Slot {
        BufferedLogWindow window;
        ConvertResult result;
        bool done = false;
    };
    std::vector<Slot> slots(inputs.size());
    std::mutex mutex;
    std::condition_variable finished;
    size_t next = 0;

    // No two inputs left share an output, so any order is safe.
    auto work = [&] {
        for (;;) {
            size_t i;
            {
                std::lock_guard lock(mutex);
                while (next < inputs.size() && !refused[next].empty()) ++next;
                if (next == inputs.size()) return;
                i = next++;
            }
            ConvertResult r;
            try {
                r = ConvertOne(slots[i].window, batch, inputs[i]);
            } catch (const std::bad_alloc&) {
                slots[i].window.AppendLog(CLanguageTable::Instance().GetText("MALLOC_FAILED"));
            }
            std::lock_guard lock(mutex);
            slots[i].result = r;
            slots[i].done = true;
            finished.notify_all();
        }
    };
    const unsigned workers = std::min<size_t>(batch.jobs, inputs.size());
    std::vector<std::thread> threads;
    threads.reserve(workers);
    for (unsigned t = 0; t < workers; ++t) threads.emplace_back(work);

    OpResult overall = OpResult::kDone;
    for (size_t i = 0; i < inputs.size(); ++i) {
        if (!refused[i].empty()) {
            w.AppendLog(refused[i]);
            overall = OpResult::kFailed;
        } else {
            {
                std::unique_lock lock(mutex);
                finished.wait(lock, [&] { return slots[i].done; });
            }
            slots[i].window.ReplayInto(w);
            if (slots[i].result.fileError != 0) ShowFileError(w, inputs[i], slots[i].result.fileError);
            overall = Combine(overall, slots[i].result.result);
            slots[i].window.Clear();  // its lines are out: free them
        }
        if (batch.progress)
            batch.progress(i + 1, inputs.size(), refused[i].empty() ? slots[i].result.result : OpResult::kFailed);
    }
    for (auto& t : threads) t.join();
    return overall;
}

// Which file a path names: device and inode where it exists, else the path
// made absolute with its links resolved, so that two spellings of one file
// compare equal.
struct FileIdentity {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    std::string path;
    auto operator<=>(const FileIdentity&) const = default;
};

FileIdentity IdentityOf(const std::string& path) {
    FileIdentity id;
    struct stat st;
    if (stat(path.c_str(), &st) == 0) {
        id.exists = true;
        id.device = st.st_dev;
        id.inode = st.st_ino;
        return id;
    }
    std::error_code ec;
    const auto full = std::filesystem::weakly_canonical(std::filesystem::absolute(path, ec), ec);
    id.path = ec ? path : full.string();
    return id;
}

// A conversion must not write over another input of the run (it may be
// read after, or was already converted), nor two inputs into one output.
// Replacing its own input in place stays allowed. Each refused input gets
// the line that names it and the file it would have written.
Refusals RefuseClashes(const std::vector<std::string>& inputs, const ConvertBatch& batch) {
    std::vector<FileIdentity> in;
    std::set<FileIdentity> existingInputs, taken;
    in.reserve(inputs.size());
    for (const auto& input : inputs) {
        in.push_back(IdentityOf(input));
        if (in.back().exists) existingInputs.insert(in.back());
    }
    const std::string failed =
        (batch.kind == ConvertKind::kMp3 ? "MP3" : "PCM ") + GetAnsiText("FILE_SAVE_FAILED");
    Refusals refused(inputs.size());
    for (size_t i = 0; i < inputs.size(); ++i) {
        const std::string output = OutputFor(batch, inputs[i]);
        const FileIdentity out = IdentityOf(output);
        const bool overInput = out != in[i] && existingInputs.count(out) != 0;
        if (overInput || !taken.insert(out).second)
            refused[i] = AnsiToWide(inputs[i] + " -> " + output + ": " + failed);
    }
    return refused;
}

constexpr char16_t kSingleFilter[] = u"MP3 (*.mp3);;All files (*)";
constexpr char16_t kBatchFilter[] = u"MP3 (*.mp3)";

}  // namespace

std::string FileNameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

namespace {

bool EndsWithMp3(const std::string& s) {
    if (s.size() < 4) return false;
    std::string tail = s.substr(s.size() - 4);
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail == ".mp3";
}

}  // namespace

std::string Mp3NameFor(const std::string& name) { return EndsWithMp3(name) ? name : name + ".mp3"; }

std::string WavNameFor(const std::string& name) {
    std::string stem = EndsWithMp3(name) ? name.substr(0, name.size() - 4) : name;
    for (size_t at = 0; (at = stem.find(".mp3", at)) != std::string::npos; at += 4) stem.replace(at, 4, ".wav");
    return stem + ".wav";
}

void ShowFileError(IMainWindow& w, const std::string& path, int error, const std::u16string& more) {
    std::u16string text = DescribeFileError(path, error);
    if (!more.empty()) text += u"\n" + more;
    w.MessageBox(text, u"Tesvano");
}

ConvertResult ConvertToMp3File(IMainWindow& w, int rate, const std::string& input, const std::string& output,
                               bool open) {
    ConvertResult result;
    PcmBuffer pcm;
    if (!DecodeInput(w, rate, input, &pcm, &result)) return result;

    CMp3Encoder encoder(rate);
    if (!encoder.Encode(pcm.data(), pcm.size())) {
        w.LogFormat("%s", GetAnsiText("CREATE_MP3_FAILED").c_str());
        return result;
    }
    pcm = PcmBuffer();  // the MP3 is all that is needed now
    // Written beside and renamed over, so an input in the save folder is
    // replaced only by a complete file.
    errno = 0;
    if (!encoder.SaveToFile(output)) {
        const int error = errno;
        w.LogFormat("MP3%s", GetAnsiText("FILE_SAVE_FAILED").c_str());
        LogReason(w, FileErrorText(output, error));
        return result;
    }
    const uint32_t bytes = static_cast<uint32_t>(encoder.length());
    w.LogFormat("MP3%s:%s %u Bytes", GetAnsiText("FILE_SAVE_OK").c_str(), output.c_str(), bytes);
    w.lastClip() = output;
    const std::u16string sizeLine = u"MP3" + CLanguageTable::Instance().GetText("FILE_SAVE_OK") + u":" +
                                    AnsiToWide(std::to_string(static_cast<int>(bytes))) + u" Bytes.";
    const bool over = WarnIfOverCameraLimit(w, sizeLine, bytes);
    if (open) w.OpenWithDesktop(AnsiToWide(output));
    result.result = over ? OpResult::kOverLimit : OpResult::kDone;
    return result;
}

namespace {

// Both WAV pipelines: decode, write with `write`, the PCM file line.
ConvertResult ConvertToWav(IMainWindow& w, int rate, const std::string& input, const std::string& output,
                           const std::function<WriteStatus(const PcmBuffer&)>& write) {
    ConvertResult result;
    PcmBuffer pcm;
    if (!DecodeInput(w, rate, input, &pcm, &result)) return result;

    auto& table = CLanguageTable::Instance();
    // The WAV must never take the place of its own input.
    const bool itself = SameFile(input, output);
    errno = 0;
    if (itself || write(pcm) != WriteStatus::kOk) {
        const int error = errno;
        w.AppendLog(u"PCM " + table.GetText("FILE_SAVE_FAILED"));
        LogReason(w, itself ? output + ": the input itself" : FileErrorText(output, error));
        return result;
    }
    w.AppendLog(u"PCM " + table.GetText("FILE_SAVE_OK") + u":" + AnsiToWide(output));
    w.lastClip() = output;
    result.result = OpResult::kDone;
    return result;
}

}  // namespace

ConvertResult ConvertToWavFile(IMainWindow& w, int rate, const std::string& input, const std::string& output) {
    return ConvertToWav(w, rate, input, output, [&](const PcmBuffer& pcm) {
        return WriteWavFile(output, static_cast<uint32_t>(rate), pcm);
    });
}

ConvertResult ConvertToG711File(IMainWindow& w, G711Law law, const std::string& input, const std::string& output) {
    return ConvertToWav(w, static_cast<int>(kG711Rate), input, output,
                        [&](const PcmBuffer& pcm) { return WriteG711WavFile(output, law, pcm); });
}

OpResult ConvertFiles(IMainWindow& w, const std::vector<std::string>& inputs, const ConvertBatch& batch) {
    const Refusals refused = RefuseClashes(inputs, batch);
    if (batch.jobs > 1 && !batch.stopAtUnreadable && inputs.size() > 1)
        return ConvertInParallel(w, inputs, batch, refused);

    OpResult overall = OpResult::kDone;
    for (size_t i = 0; i < inputs.size(); ++i) {
        if (!refused[i].empty()) {
            w.AppendLog(refused[i]);
            overall = OpResult::kFailed;
            if (batch.progress) batch.progress(i + 1, inputs.size(), OpResult::kFailed);
            continue;
        }
        const ConvertResult r = ConvertOne(w, batch, inputs[i]);
        overall = Combine(overall, r.result);
        if (r.fileError != 0) {
            const bool stop = batch.stopAtUnreadable && i + 1 < inputs.size();
            ShowFileError(w, inputs[i], r.fileError,
                          stop ? CLanguageTable::Instance().GetText("BATCH_REST_SKIPPED") : std::u16string());
            if (stop) {
                if (batch.progress) batch.progress(i + 1, inputs.size(), r.result);
                break;
            }
        }
        if (batch.progress) batch.progress(i + 1, inputs.size(), r.result);
    }
    return overall;
}

namespace {

// The single-file buttons: the rate and text check, then one file from the dialog.
OpResult ConvertChosenFile(IMainWindow& w, bool toWav) {
    int rate;
    std::u16string text;  // converting needs none, but the window asks for one first
    if (!ReadRateAndText(w, &rate, &text)) return OpResult::kFailed;
    std::u16string chosen;
    if (!w.ChooseFile(u"", kSingleFilter, &chosen)) return OpResult::kFailed;
    const std::string input = WideToAnsi(chosen);
    const std::string name = FileNameOf(input);
    const std::string output =
        WideToAnsi(w.GetItemText(IDC_SAVE_DIR)) + "/" + (toWav ? WavNameFor(name) : Mp3NameFor(name));
    const ConvertResult r = toWav ? ConvertToWavFile(w, rate, input, output)
                                  : ConvertToMp3File(w, rate, input, output, true);
    if (r.fileError != 0) ShowFileError(w, input, r.fileError);
    return r.result;
}

}  // namespace

OpResult OnConvertMp3(IMainWindow& w) { return ConvertChosenFile(w, false); }

OpResult OnMp3ToWav(IMainWindow& w) { return ConvertChosenFile(w, true); }

OpResult OnBatchConvert(IMainWindow& w) {
    int rate;
    std::u16string text;  // converting needs none, but the window asks for one first
    if (!ReadRateAndText(w, &rate, &text)) return OpResult::kFailed;
    std::vector<std::u16string> chosen;
    if (!w.ChooseFiles(u"", kBatchFilter, &chosen) || chosen.empty()) return OpResult::kFailed;
    std::vector<std::string> inputs;
    inputs.reserve(chosen.size());
    for (const auto& c : chosen) inputs.push_back(WideToAnsi(c));
    ConvertBatch batch;
    batch.rate = rate;
    batch.saveDir = WideToAnsi(w.GetItemText(IDC_SAVE_DIR));
    batch.stopAtUnreadable = true;  // the window's batch ends at a file it cannot read
    return ConvertFiles(w, inputs, batch);
}

}  // namespace tesvano
