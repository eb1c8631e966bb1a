#include "app/cli/say_list.h"

#include <csv.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string_view>

#include "app/cli/console_options.h"
#include "operations/generate.h"
#include "operations/size_check.h"
#include "platform/file.h"
#include "platform/system.h"
#include "platform/text.h"

extern char** environ;

namespace tesvano {

const std::string* ListRow::Cell(const std::string& column) const {
    for (const auto& [name, value] : cells)
        if (name == column) return &value;
    return nullptr;
}

namespace {

constexpr size_t kMaxListBytes = 16u << 20;
constexpr size_t kMaxRows = 100000;
constexpr size_t kMaxTextBytes = 64u << 10;  // well inside what one argument may hold
constexpr size_t kMaxChildOutput = 1u << 20;
const char* const kColumns[] = {"text", "name", "voice", "music", "mode", "volume", "rate", "kind", "fit"};

// The whole list: a file (a pipe too, as "<(...)" gives) or standard input.
bool ReadList(const std::string& from, std::string* data, std::string* error) {
    const bool stdinput = from == "-";
    const int fd = stdinput ? 0 : open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *error = FileErrorText(from, errno);
        return false;
    }
    struct stat st{};
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        *error = FileErrorText(from, EISDIR);
        if (!stdinput) close(fd);
        return false;
    }
    char buffer[65536];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            *error = FileErrorText(stdinput ? "standard input" : from, errno);
            break;
        }
        if (got == 0) break;
        if (data->size() + static_cast<size_t>(got) > kMaxListBytes) {
            *error = (stdinput ? std::string("standard input") : from) + ": a list takes at most 16 MiB";
            break;
        }
        data->append(buffer, static_cast<size_t>(got));
    }
    if (!stdinput) close(fd);
    return error->empty();
}

struct CsvRecords {
    std::vector<std::vector<std::string>> records;
    std::vector<std::string> current;
    bool tooMany = false;
};

int OnlyBlank(unsigned char c) { return c == ' ' ? 1 : 0; }

bool ParseDelimited(const std::string& data, char delimiter, CsvRecords* out, std::string* error) {
    csv_parser parser;
    if (csv_init(&parser, 0) != 0) {
        *error = "out of memory";
        return false;
    }
    csv_set_delim(&parser, static_cast<unsigned char>(delimiter));
    csv_set_space_func(&parser, OnlyBlank);  // a tab is a cell's end in TSV, never its padding
    const auto onCell = [](void* cell, size_t length, void* records) {
        static_cast<CsvRecords*>(records)->current.emplace_back(static_cast<const char*>(cell), length);
    };
    const auto onRecord = [](int, void* list) {
        auto* records = static_cast<CsvRecords*>(list);
        if (records->records.size() > kMaxRows) records->tooMany = true;
        else records->records.push_back(std::move(records->current));
        records->current.clear();
    };
    const bool ok = csv_parse(&parser, data.data(), data.size(), onCell, onRecord, out) == data.size() &&
                    csv_fini(&parser, onCell, onRecord, out) == 0;
    if (!ok) *error = csv_strerror(csv_error(&parser));
    csv_free(&parser);
    return ok;
}

// The header's column names, read as the rows will be with `delimiter`; none
// when it names no "text".
std::vector<std::string> HeaderColumns(const std::string& line, char delimiter) {
    CsvRecords header;
    std::string error;
    if (!ParseDelimited(line, delimiter, &header, &error) || header.records.empty()) return {};
    std::vector<std::string> names;
    for (const std::string& cell : header.records.front()) names.push_back(Lower(Trim(cell)));
    if (std::find(names.begin(), names.end(), "text") == names.end()) names.clear();
    return names;
}

}  // namespace

bool ParseSayList(std::string data, std::vector<ListRow>* rows, std::string* error) {
    if (data.starts_with("\xEF\xBB\xBF")) data.erase(0, 3);  // a spreadsheet's byte-order mark
    if (data.find('\0') != std::string::npos || !IsValidUtf8(data)) {
        *error = "not UTF-8 text";
        return false;
    }
    std::string firstLine = data.substr(0, data.find('\n'));
    if (!firstLine.empty() && firstLine.back() == '\r') firstLine.pop_back();
    char delimiter = '\t';
    std::vector<std::string> columns = HeaderColumns(firstLine, '\t');
    if (columns.empty() || columns.size() == 1) {
        // One column named text is a header in either kind; a comma decides.
        std::vector<std::string> commas = HeaderColumns(firstLine, ',');
        if (!commas.empty()) {
            columns = std::move(commas);
            delimiter = ',';
        }
    }
    if (columns.empty()) {
        // One text per line; blank lines are no rows.
        size_t number = 0, start = 0;
        while (start < data.size()) {
            size_t end = data.find('\n', start);
            if (end == std::string::npos) end = data.size();
            std::string line = data.substr(start, end - start);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            ++number;
            start = end + 1;
            if (Trim(line).empty()) continue;
            if (rows->size() >= kMaxRows) {
                *error = "a list takes at most 100000 rows";
                return false;
            }
            rows->push_back({number, {{"text", line}}});
        }
        return true;
    }
    for (size_t i = 0; i < columns.size(); ++i) {
        if (std::find(std::begin(kColumns), std::end(kColumns), columns[i]) == std::end(kColumns)) {
            *error = "unknown column '" + columns[i] + "' (the columns are text, name, voice, music, mode, volume, "
                                                     "rate, kind, fit)";
            return false;
        }
        if (std::find(columns.begin(), columns.begin() + static_cast<ptrdiff_t>(i), columns[i]) !=
            columns.begin() + static_cast<ptrdiff_t>(i)) {
            *error = "column '" + columns[i] + "' twice";
            return false;
        }
    }
    CsvRecords records;
    if (!ParseDelimited(data, delimiter, &records, error)) return false;
    if (records.tooMany) {
        *error = "a list takes at most 100000 rows";
        return false;
    }
    for (size_t r = 1; r < records.records.size(); ++r) {
        ListRow row{r + 1, {}};
        const auto& cells = records.records[r];
        if (cells.size() > columns.size()) row.extraCells = cells.size() - columns.size();
        for (size_t c = 0; c < std::min(cells.size(), columns.size()); ++c) row.cells.emplace_back(columns[c], cells[c]);
        rows->push_back(std::move(row));
    }
    return true;
}

namespace {

// A row made ready to run: the child's arguments and the file it writes.
struct Job {
    size_t row = 0;
    std::vector<std::string> args;
    std::string path;
};

const char* Extension(const std::string& kind) {
    if (kind == "mp3") return ".mp3";
    if (kind == "pcm") return ".pcm";
    return ".wav";
}

// The row's cell, or the command line's value when the cell is empty.
std::string Value(const ListRow& row, const char* column, const std::string& fallback) {
    const std::string* cell = row.Cell(column);
    return cell && !Trim(*cell).empty() ? Trim(*cell) : fallback;
}

// The child's arguments for a row; false with why the row cannot be made.
bool PlanRow(const ListRow& row, const SayDefaults& d, Job* job, std::string* why) {
    if (row.extraCells > 0) {
        *why = std::to_string(row.cells.size() + row.extraCells) + " cells where the header names fewer";
        return false;
    }
    const std::string* text = row.Cell("text");
    if (!text || Trim(*text).empty()) {
        *why = "no text";
        return false;
    }
    if (text->size() > kMaxTextBytes) {
        *why = "a text of more than 65536 bytes";
        return false;
    }
    const std::string voice = Value(row, "voice", d.voice), music = Value(row, "music", d.music),
                      mode = Value(row, "mode", d.mode), volume = Value(row, "volume", d.volume),
                      kind = Lower(Value(row, "kind", d.kind)), fit = Lower(Value(row, "fit", ""));
    std::string rate = Value(row, "rate", d.rate);
    const auto given = [](const std::string& value) { return value.empty() ? OptionalText() : value; };
    // The child is given the values as text; here they are only checked.
    MusicChoice checkedMusic;
    int checkedRate = 0;
    const BadOption bad =
        ReadClipOptions({given(music), given(mode), given(volume), given(rate), {}}, &checkedMusic, &checkedRate);
    if (!voice.empty() && FindVoice(voice) < 0) *why = "no voice '" + voice + "'";
    else if (bad == BadOption::kMusic) *why = "no background music '" + music + "'";
    else if (bad == BadOption::kMode) *why = "mode '" + mode + "' is not 0, 1, 2 or 3";
    else if (bad == BadOption::kVolume) *why = "volume '" + volume + "' is not 0 to 100";
    else if (bad == BadOption::kRate) *why = "rate '" + rate + "' is not 8000 or 16000";
    else if (!IsSayKind(kind))
        *why = "kind '" + kind + "' is not mp3, pcm, wav, alaw or ulaw";
    else if (!fit.empty() && fit != "yes" && fit != "no" && fit != "true" && fit != "false" && fit != "1" && fit != "0")
        *why = "fit '" + fit + "' is not yes or no";
    if (!why->empty()) return false;
    const bool fitted = fit.empty() ? d.fit : (fit == "yes" || fit == "true" || fit == "1");
    const bool g711 = kind == "alaw" || kind == "ulaw";
    if (g711 && !rate.empty() && rate != "8000") *why = "alaw and ulaw are 8000 Hz, not " + rate;
    else if (fitted && kind != "mp3") *why = "fit is for MP3 only";
    if (!why->empty()) return false;

    std::u16string stem;
    if (const std::string* name = row.Cell("name"); name && !Trim(*name).empty()) {
        stem = AnsiToWide(Trim(*name));
        if (!IsUsableFileStem(stem)) {
            *why = "name '" + Trim(*name) + "' cannot name a file";
            return false;
        }
    } else {
        stem = TextFileStem(AnsiToWide(*text));
        // A text of marks only: a dated name, made apart by its row.
        if (stem.empty()) stem = AnsiToWide(DatedFileStem(GetTickCount32()) + "-" + std::to_string(row.number));
    }
    job->row = row.number;
    job->path = d.dir + "/" + WideToAnsi(stem) + Extension(kind);
    job->args = {"tesvano-cli", "say", "--dir", d.dir, "--name", WideToAnsi(stem), "--kind", kind};
    const std::pair<const char*, const std::string*> options[] = {
        {"--voice", &voice}, {"--music", &music}, {"--mode", &mode}, {"--volume", &volume}, {"--rate", &rate}};
    for (const auto& [option, value] : options)
        if (!value->empty()) job->args.insert(job->args.end(), {option, *value});
    if (fitted) job->args.push_back("--fit");
    job->args.insert(job->args.end(), {"--", *text});
    return true;
}

// Rows that would write the same file, each pair named; none: "".
std::string Clashes(const std::vector<Job>& jobs) {
    std::map<std::string, size_t> byPath;
    std::string report;
    for (const Job& job : jobs) {
        const std::string path = std::filesystem::absolute(job.path).lexically_normal().string();
        const auto [at, fresh] = byPath.emplace(path, job.row);
        if (!fresh)
            report += "tesvano-cli: rows " + std::to_string(at->second) + " and " + std::to_string(job.row) +
                      " would both write " + job.path + "\n";
    }
    return report;
}

// One child: a tesvano-cli say for one row, its output kept for its turn.
struct Child {
    pid_t pid = -1;
    int out = -1, err = -1;
    std::string outText, errText;
    int status = -1;
    bool done = false;
};

bool Start(const Job& job, Child* child, std::string* why) {
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        *why = std::strerror(errno);
        return false;
    }
    if (pipe2(err, O_CLOEXEC) != 0) {
        *why = std::strerror(errno);
        close(out[0]);
        close(out[1]);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    std::vector<char*> argv;
    for (const std::string& a : job.args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const int rc = posix_spawn(&child->pid, "/proc/self/exe", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    if (rc != 0) {
        *why = std::strerror(rc);
        close(out[0]);
        close(err[0]);
        return false;
    }
    child->out = out[0];
    child->err = err[0];
    return true;
}

// Reads what is there; closes a pipe at its end.
void Drain(int* fd, std::string* text) {
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(*fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && errno == EAGAIN) return;
        if (got <= 0) {
            close(*fd);
            *fd = -1;
            return;
        }
        if (text->size() < kMaxChildOutput) text->append(buffer, static_cast<size_t>(got));
    }
}

}  // namespace

int SayList(ConsoleWindow& w, const std::string& from, const SayDefaults& defaults, unsigned jobs, std::FILE* err) {
    std::string data, error;
    std::vector<ListRow> rows;
    if (!ReadList(from, &data, &error) || !ParseSayList(std::move(data), &rows, &error)) {
        std::fprintf(err, "tesvano-cli: %s%s\n", from == "-" || error.starts_with(from) ? "" : (from + ": ").c_str(),
                     error.c_str());
        return kExitFailed;
    }
    if (rows.empty()) {
        std::fprintf(err, "tesvano-cli: %s: no texts in it\n", from.c_str());
        return kExitFailed;
    }
    // Every row checked before anything is made: bad rows are told and
    // skipped, two rows for one file stop the whole list.
    std::vector<Job> planned;
    size_t failed = 0;
    for (const ListRow& row : rows) {
        Job job;
        std::string why;
        if (PlanRow(row, defaults, &job, &why)) {
            planned.push_back(std::move(job));
        } else {
            std::fprintf(err, "tesvano-cli: row %zu: %s, skipped\n", row.number, why.c_str());
            ++failed;
        }
    }
    if (const std::string clashes = Clashes(planned); !clashes.empty()) {
        std::fputs(clashes.c_str(), err);
        std::fputs("tesvano-cli: nothing made; give the rows names of their own (the name column)\n", err);
        return kExitFailed;
    }

    const bool terminal = isatty(fileno(err)) != 0;
    std::vector<Child> children(planned.size());
    size_t started = 0, printed = 0, running = 0, made = 0, over = 0;
    const auto report = [&](size_t i) {
        Child& c = children[i];
        w.ClearProgress();
        // The child's log lines, numbered on as one log.
        size_t start = 0;
        while (start < c.outText.size()) {
            size_t end = c.outText.find('\n', start);
            if (end == std::string::npos) end = c.outText.size();
            std::string_view line(c.outText.data() + start, end - start);
            const size_t digits = line.find_first_not_of("0123456789");
            if (digits >= 4 && digits != std::string_view::npos && line.substr(digits, 2) == ": ")
                line.remove_prefix(digits + 2);
            w.AppendLog(AnsiToWide(line));
            start = end + 1;
        }
        start = 0;
        while (start < c.errText.size()) {
            size_t end = c.errText.find('\n', start);
            if (end == std::string::npos) end = c.errText.size();
            std::fprintf(err, "row %zu: %.*s\n", planned[i].row, static_cast<int>(end - start), c.errText.data() + start);
            start = end + 1;
        }
        const int status = c.status;
        if (status == kExitOk || status == kExitOverLimit) ++made;
        else ++failed;
        if (status == kExitOverLimit) ++over;
        c.outText.clear();
        c.outText.shrink_to_fit();
        c.errText.clear();
        c.errText.shrink_to_fit();
    };
    while (printed < planned.size()) {
        while (running < jobs && started < planned.size()) {
            Child& c = children[started];
            std::string why;
            if (Start(planned[started], &c, &why)) {
                fcntl(c.out, F_SETFL, O_NONBLOCK);
                fcntl(c.err, F_SETFL, O_NONBLOCK);
                ++running;
            } else {
                c.errText = "cannot start tesvano-cli: " + why + "\n";
                c.status = kExitFailed;
                c.done = true;
            }
            ++started;
        }
        std::vector<pollfd> fds;
        std::vector<int*> owners;
        std::vector<std::string*> texts;
        for (size_t i = printed; i < started; ++i) {
            Child& c = children[i];
            for (auto [fd, text] : {std::pair{&c.out, &c.outText}, std::pair{&c.err, &c.errText}}) {
                if (*fd < 0) continue;
                fds.push_back({*fd, POLLIN, 0});
                owners.push_back(fd);
                texts.push_back(text);
            }
        }
        if (!fds.empty() && poll(fds.data(), fds.size(), 1000) < 0 && errno != EINTR) break;
        for (size_t k = 0; k < fds.size(); ++k)
            if (fds[k].revents != 0) Drain(owners[k], texts[k]);
        // A child is done once both its pipes ended and it was reaped.
        for (size_t i = printed; i < started; ++i) {
            Child& c = children[i];
            if (c.done || c.out >= 0 || c.err >= 0) continue;
            int wstatus = 0;
            if (waitpid(c.pid, &wstatus, 0) == c.pid)
                c.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : kExitFailed;
            if (WIFSIGNALED(wstatus)) c.errText += std::string("stopped by ") + strsignal(WTERMSIG(wstatus)) + "\n";
            c.done = true;
            --running;
        }
        // In row order, as far as the rows are done.
        while (printed < started && children[printed].done) report(printed++);
        if (terminal && printed < planned.size())
            w.ShowProgress(std::to_string(printed) + "/" + std::to_string(planned.size()) + " clips");
    }
    w.ClearProgress();
    std::fprintf(err, "%zu made, %zu failed", made, failed);
    if (over > 0) std::fprintf(err, ", %zu over %u bytes", over, kCameraSizeLimit);
    std::fputc('\n', err);
    if (failed > 0) return kExitFailed;
    return over > 0 ? kExitOverLimit : kExitOk;
}

}  // namespace tesvano
