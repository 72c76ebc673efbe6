#pragma once

#include <climits>
#include <functional>

namespace ferrolux {

class Session;
struct ChipImage;

// How one pass walks the file's image: where the chip starts, which words it
// takes, and what it does with each.
struct HexPass {
    int start = 0;                   // the position counter after positioning
    std::function<void()> position;  // commands after ENTER_PGM that move the chip there
    int skipBelow = 0;               // words below are not the pass's
    int endAbove = INT_MAX;          // a word above ends the pass
    bool firstRunOnly = false;       // end after the first run of adjacent words
    // Called before each Increment Address (row passes commit here).
    std::function<void()> beforeIncrement;
    // Called where a run of adjacent words starts, before its words.
    std::function<void(int wordAddress)> atRun;
    // The pass's work on one word: 0 to go on, another value to end the pass with it.
    std::function<int(int address, int value)> perWord;
    // Called when the pass ends without failure; `beyondAddress` is the
    // address of the image's first word above the window, or -1 when there is none.
    std::function<void(int beyondAddress)> endStep;
    // Progress: called before each word with its address, how many of the
    // pass's words came before it and how many it has.
    std::function<void(int address, int done, int total)> progress;
};

// Walks the words of `image` in rising address order through `pass`, moving
// the chip forward to each: 0 at the end, else what perWord ended it with.
int walkImage(Session& s, const ChipImage& image, const HexPass& pass);

}  // namespace ferrolux
