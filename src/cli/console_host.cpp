#include "cli/console_host.h"

#include <iostream>
#include <unistd.h>

#include "core/text.h"

namespace quorvane {

namespace {
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr size_t kBarWidth = 30;
}  // namespace

ConsoleHost::ConsoleHost(FILE* out, FILE* err)
    : out_(out), err_(err), terminal_(::isatty(::fileno(err)) != 0), inputTerminal_(::isatty(STDIN_FILENO) != 0) {}

void ConsoleHost::clearBar() {
    if (barShown_) {
        std::fprintf(err_, "\r\033[K");
        std::fflush(err_);
        barShown_ = false;
    }
}

void ConsoleHost::drawBar(bool force) {
    if (!terminal_) return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - lastDraw_ < kRedrawInterval) return;
    lastDraw_ = now;
    const int max = maximum_ > 0 ? maximum_ : 1;
    const int pos = position_ < 0 ? 0 : (position_ > max ? max : position_);
    const size_t filled = static_cast<size_t>(kBarWidth * static_cast<double>(pos) / max);
    std::string bar(filled, '#');
    bar.resize(kBarWidth, '.');
    std::string label = terminalText(action_ + (item_.empty() ? "" : " " + item_));
    if (label.size() > 50) {
        // Cut at a character's first byte, never inside a UTF-8 sequence.
        size_t cut = label.size() - 47;
        while (cut < label.size() && (static_cast<unsigned char>(label[cut]) & 0xC0) == 0x80) ++cut;
        label = "..." + label.substr(cut);
    }
    std::fprintf(err_, "\r\033[K[%s] %3d%% %s", bar.c_str(), pos * 100 / max, label.c_str());
    std::fflush(err_);
    barShown_ = true;
}

void ConsoleHost::onStartProgress(const std::string& action, int maximum) {
    action_ = action;
    maximum_ = maximum;
    position_ = 0;
    item_.clear();
    if (terminal_) drawBar(true);
    else std::fprintf(err_, "%s\n", terminalText(action).c_str());
}

void ConsoleHost::onUpdateProgress(const std::string& item, int position) {
    item_ = item;
    position_ = position;
    drawBar(false);
}

void ConsoleHost::onSetProgressMax(int maximum) {
    maximum_ = maximum;
    drawBar(false);
}

void ConsoleHost::onCloseProgress() { clearBar(); }

void ConsoleHost::addMessage(const std::string& text) {
    clearBar();
    std::fprintf(out_, "%s\n--\n", terminalText(text).c_str());
    std::fflush(out_);
}

void ConsoleHost::addFileNode(const std::string& file) {
    clearBar();
    std::fprintf(out_, "%s\n", terminalText(file).c_str());
    std::fflush(out_);
}

void ConsoleHost::addFileFinding(const std::string& message) {
    clearBar();
    std::fprintf(out_, "    %s\n", terminalText(message).c_str());
    std::fflush(out_);
}

void ConsoleHost::showInformation(const std::string& text) {
    clearBar();
    std::fprintf(out_, "%s\n", terminalText(text).c_str());
    std::fflush(out_);
}

bool ConsoleHost::ask(const std::string& question, const char* yesWord, const char* noWord) {
    clearBar();
    const std::string text = terminalText(question);
    if (questions_ == QuestionPolicy::Yes || questions_ == QuestionPolicy::No) {
        const bool yes = questions_ == QuestionPolicy::Yes;
        std::fprintf(out_, "%s [%s]\n", text.c_str(), yes ? yesWord : noWord);
        std::fflush(out_);
        return yes;
    }
    if (!inputTerminal_) {
        std::fprintf(out_, "%s [%s: no terminal to ask]\n", text.c_str(), noWord);
        std::fflush(out_);
        return false;
    }
    for (;;) {
        std::fprintf(out_, "%s [%s/%s] ", text.c_str(), yesWord, noWord);
        std::fflush(out_);
        std::string answer;
        if (!std::getline(std::cin, answer)) return false;
        if (answer == "y" || answer == "Y" || answer == yesWord) return true;
        if (answer == "n" || answer == "N" || answer == "i" || answer == "I" || answer == "a" || answer == "A" ||
            answer == noWord)
            return false;
    }
}

bool ConsoleHost::askYesIgnore(const std::string& text) { return ask(text, "Yes", "Ignore"); }
bool ConsoleHost::askYesAbort(const std::string& text) { return ask(text, "Yes", "Abort"); }

DupesAnswer ConsoleHost::askDuplicates(const std::string& fileName, const std::string& archivePath,
                                       const std::vector<RomMatch>& matches) {
    DupesAnswer answer;
    switch (dupes_) {
        case DupesPolicy::All: answer.behaviour = dupesBehaviourFor(DupesChoice::AlwaysAll); return answer;
        case DupesPolicy::Never: answer.behaviour = dupesBehaviourFor(DupesChoice::Never); return answer;
        case DupesPolicy::Name:
            answer.behaviour = dupesBehaviourFor(DupesChoice::OnlyNameMatches);
            answer.behaviour.askUser = false;
            return answer;
        case DupesPolicy::Ask: break;
    }
    answer.behaviour = dupesBehaviourFor(DupesChoice::RebuildAllListed);
    if (!inputTerminal_) return answer;
    clearBar();
    std::fprintf(out_, "Warning! The file: %s\nIn zip: %s\nCan be identified as:\n", terminalText(fileName).c_str(),
                 terminalText(archivePath).c_str());
    for (size_t i = 0; i < matches.size(); ++i)
        std::fprintf(out_, "  %zu. %s\n", i + 1, terminalText(matches[i].game).c_str());
    std::fprintf(out_,
                 "Choose: 1 Rebuild all of the listed files, 2 Only rebuild selected, 3 Always build all,\n"
                 "        4 Never build, 5 Only rebuild when rom name matches [1]: ");
    std::fflush(out_);
    std::string line;
    if (!std::getline(std::cin, line) || line.empty() || line == "1") return answer;
    const char c = line[0];
    if (c == '3') answer.behaviour = dupesBehaviourFor(DupesChoice::AlwaysAll);
    else if (c == '4') answer.behaviour = dupesBehaviourFor(DupesChoice::Never);
    else if (c == '5') answer.behaviour = dupesBehaviourFor(DupesChoice::OnlyNameMatches);
    else if (c == '2') {
        answer.behaviour = dupesBehaviourFor(DupesChoice::OnlySelected);
        std::fprintf(out_, "Numbers of the games to rebuild, separated by spaces: ");
        std::fflush(out_);
        std::string picks;
        std::getline(std::cin, picks);
        size_t pos = 0;
        while (pos < picks.size()) {
            const size_t end = picks.find_first_of(" ,", pos);
            const std::string token = picks.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
            if (!token.empty() && token.find_first_not_of("0123456789") == std::string::npos) {
                const size_t n = std::stoul(token);
                if (n >= 1 && n <= matches.size()) answer.selectedGames.push_back(matches[n - 1].game);
            }
            if (end == std::string::npos) break;
            pos = end + 1;
        }
    }
    return answer;
}

}  // namespace quorvane
