// tesvano-cli say --from FILE: one clip per row of a list of texts, the rows
// spoken at once by as many tesvano-cli processes as there are jobs.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "app/cli/console_window.h"

namespace tesvano {

// The say options given beside --from, as typed (already checked): what an
// empty cell takes. dir is the save folder they lead to.
struct SayDefaults {
    std::string voice, music, mode, volume, rate, kind = "mp3", dir;
    bool fit = false;
};

// One row of the list, as read: its number (the header is row 1; without a
// header, its line) and the cells by column name.
struct ListRow {
    size_t number = 0;
    std::vector<std::pair<std::string, std::string>> cells;
    size_t extraCells = 0;  // cells beyond the header's columns (the row is refused)
    const std::string* Cell(const std::string& column) const;
};

// The rows of a UTF-8 list: TSV or CSV when the first line is a header
// naming a "text" column among the known ones (text, name, voice, music,
// mode, volume, rate, kind, fit), else one text per non-blank line. False
// with the reason for a file that is no such list.
bool ParseSayList(std::string data, std::vector<ListRow>* rows, std::string* error);

// Runs the list at `from` ("-": standard input) with `jobs` at once; the
// process's exit status.
// The clips' log lines go to the window's log, numbered on as one run.
int SayList(ConsoleWindow& w, const std::string& from, const SayDefaults& defaults, unsigned jobs, std::FILE* err);

}  // namespace tesvano
