#pragma once

#include <climits>
#include <functional>

namespace ferrolux {

class Session;

// How one pass walks the selected hex file: where the chip starts, which
// records it takes, and what it does with each word.
struct HexPass {
    int start = 0;                   // the position counter after positioning
    std::function<void()> position;  // commands after ENTER_PGM that move the chip there
    bool typeTest = true;            // skip records of a type other than 0
    int skipBelow = 0;               // records starting below are skipped
    int endAbove = INT_MAX;          // a record starting above ends the pass
    bool firstRecordOnly = false;    // end after the first record in the window
    // Called before each Increment Address (row passes commit here).
    std::function<void()> beforeIncrement;
    // Called at each record that starts in the window, before its words.
    std::function<void(int wordAddress)> atRecord;
    // The pass's work on s.pass.targetAddress / s.pass.fileWord: 0 to go on, 1 to fail.
    std::function<int()> perWord;
    // Called when the pass ends without failure; `beyondAddress` is the word
    // address of a record beyond the window, or -1 for other endings.
    std::function<void(int beyondAddress)> endStep;
};

// Streams the selected hex file through `pass`: 0 at its end, 1 on failure
// with the message text filled. The chip is only ever moved forward; a record
// that would need it to go back is refused as a format error.
int walkHexFile(Session& s, const HexPass& pass);

}  // namespace ferrolux
