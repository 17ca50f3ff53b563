// A player control for window tests: a movie of a chosen frame count that the test moves by
// hand, recording every call the window makes.
#pragma once

#include <string>
#include <vector>

#include "controls/playercontrol.h"

class FakePlayer : public CPlayerControl {
  public:
    long totalFrames = 0;
    long current = 0;
    bool playing = false;
    bool loop = true;
    std::vector<std::string> calls;
    std::vector<long> gotoFrames;

    void SetMovie(const std::string& path) override {
        calls.push_back("SetMovie " + path);
        current = 0;
        playing = false;
    }
    void SetLoop(BOOL value) override {
        calls.push_back(value ? "SetLoop 1" : "SetLoop 0");
        loop = value;
    }
    void Play() override {
        calls.push_back("Play");
        playing = true;
    }
    void Stop() override {
        calls.push_back("Stop");
        playing = false;
    }
    void Rewind() override {
        calls.push_back("Rewind");
        current = 0;
    }
    long GetTotalFrames() const override { return totalFrames; }
    void StopPlay() override {
        calls.push_back("StopPlay");
        playing = false;
    }
    void GotoFrame(long frame) override {
        calls.push_back("GotoFrame " + std::to_string(frame));
        gotoFrames.push_back(frame);
        current = frame;
    }
    long CurrentFrame() const override { return current; }
    BOOL IsPlaying() const override { return playing ? TRUE : FALSE; }
};
