// The player control as the windows call it: the dispatch members of CShockwaveflash behind
// an interface, so a window can be driven by the hosted control or, in tests, by a stand-in
// that records the calls.
#pragma once

#include <string>

#include "platform/wintypes.h"

class CPlayerControl {
  public:
    virtual ~CPlayerControl() = default;
    virtual void SetMovie(const std::string& path) = 0;
    virtual void SetLoop(BOOL loop) = 0;
    virtual void Play() = 0;
    virtual void Stop() = 0;
    virtual void Rewind() = 0;
    virtual long GetTotalFrames() const = 0;
    virtual void StopPlay() = 0;
    virtual void GotoFrame(long frame) = 0;
    virtual long CurrentFrame() const = 0;
    virtual BOOL IsPlaying() const = 0;
    // Why the movie last given did not load whole, one line ("" when it did).
    virtual std::string LoadProblem() const { return ""; }
};
