#include "player/reader.h"

#include <limits>
#include <type_traits>

#include "player/bitreader.h"
#include "player/buttons.h"
#include "player/decompress.h"
#include "player/limits.h"
#include "player/records.h"
#include "player/tags.h"

namespace player {

namespace {

void Note(const ModelBudget& budget, std::vector<std::string>* problems, std::string what) {
    if (problems->size() < budget.Caps().maxReportedProblems) problems->push_back(std::move(what));
}

static_assert(Limits::kMaxCharacters ==
                  std::size_t{std::numeric_limits<decltype(Shape::id)>::max()} + 1,
              "the dictionary is keyed by 16-bit character id");

// What a dictionary entry costs beside the character itself (map node, shared owner).
constexpr std::size_t kMapNodeBytes = 96;

// Collects tags into frames; the one place that decides what a tag does to a timeline.
class TimelineBuilder {
  public:
    TimelineBuilder(Timeline* timeline, Movie* movie, ModelBudget& budget,
                    std::vector<std::string>* problems)
        : timeline_(timeline), movie_(movie), budget_(budget), problems_(problems) {}

    // Returns false when the tag ends the timeline.
    bool Add(Tag&& tag) {
        return std::visit([this](auto&& t) { return On(std::move(t)); }, std::move(tag));
    }

    // A timeline whose only frame never got its ShowFrame still shows that frame.
    void Finish() {
        if (timeline_->frames.empty() && (!pending_.commands.empty() || !pending_.actions.empty() ||
                                         !pending_.initActions.empty() ||
                                         !pending_.sounds.empty() || pending_.streamBlock))
            PushFrame();
    }

  private:
    bool On(EndTag&&) { return false; }
    bool On(ShowFrameTag&&) {
        PushFrame();
        return true;
    }
    bool On(PlaceObject&& p) {
        std::size_t handlers = 0;
        for (const ClipAction& c : p.clipActions) handlers += sizeof(ClipAction) + c.actions.size();
        if (!budget_.Charge(sizeof(DisplayCommand) + handlers)) return false;
        pending_.commands.emplace_back(std::move(p));
        return true;
    }
    bool On(RemoveObject&& r) {
        if (!budget_.Charge(sizeof(DisplayCommand))) return false;
        pending_.commands.emplace_back(r);
        return true;
    }
    bool On(DoActionTag&& a) {
        if (!budget_.Charge(sizeof(ActionBlock) + a.actions.size())) return false;
        if (a.actions.empty()) return true;
        pending_.actions.push_back(std::move(a.actions));
        pending_.actionsAfter.push_back(static_cast<std::uint32_t>(pending_.commands.size()));
        return true;
    }
    bool On(DoInitActionTag&& a) {
        if (!budget_.Charge(sizeof(InitAction) + a.action.actions.size())) return false;
        pending_.initActions.push_back(std::move(a.action));
        return true;
    }
    bool On(ScriptLimitsTag&& t) {
        if (movie_) movie_->maxRecursion = t.maxRecursion;
        return true;
    }
    bool On(ExportAssetsTag&& t) {
        if (!movie_) return true;
        for (auto& [id, name] : t.assets) movie_->exports.emplace(std::move(name), id);
        return true;
    }
    bool On(ImportAssetsTag&& t) {
        if (!movie_) return true;
        for (auto& [id, name] : t.assets)
            movie_->imports.emplace(id, Movie::Import{t.url, std::move(name)});
        return true;
    }
    bool On(DoAbcTag&&) {
        if (movie_) movie_->actionScript3 = true;
        return true;
    }
    bool On(FrameLabelTag&& l) {
        if (!budget_.Charge(2 * (sizeof(std::string) + l.name.size()) + 64)) return false;
        const int frame = static_cast<int>(timeline_->frames.size());
        timeline_->labels.emplace(l.name, frame);
        pending_.label = std::move(l.name);
        return true;
    }
    bool On(SetBackgroundColorTag&& c) {
        if (movie_ && !movie_->background) movie_->background = c.color;
        return true;
    }
    bool On(Shape&& s) {
        Define(s.id, std::move(s));
        return true;
    }
    bool On(Sprite&& s) {
        for (VideoFrame& frame : s.timeline.videoFrames) FileVideoFrame(std::move(frame));
        s.timeline.videoFrames = {};
        Define(s.id, std::move(s));
        return true;
    }
    bool On(VideoStream&& v) {
        Define(v.id, std::move(v));
        return true;
    }
    bool On(VideoFrame&& f) {
        if (!budget_.Charge(sizeof(VideoFrame) + f.data.size())) return false;
        if (movie_)
            FileVideoFrame(std::move(f));
        else
            timeline_->videoFrames.push_back(std::move(f));
        return true;
    }
    bool On(sound::SoundDefinition&& s) {
        if (!movie_) return true;  // definitions inside sprites are not allowed: dropped
        if (!budget_.Charge(sizeof(s) + kMapNodeBytes + s.data.size())) return false;
        const std::uint16_t id = s.id;
        movie_->sounds.emplace(id, std::move(s));
        return true;
    }
    bool On(sound::StartSound&& s) {
        if (!budget_.Charge(sizeof(s) + s.className.size() +
                            s.info.envelope.size() * sizeof(sound::EnvelopePoint)))
            return false;
        pending_.sounds.push_back(std::move(s));
        return true;
    }
    bool On(sound::StreamHead&& h) {
        timeline_->streamHead = h;
        return true;
    }
    bool On(StreamBlockTag&& b) {
        if (!budget_.Charge(sizeof(b) + b.bytes.size())) return false;
        pending_.streamBlock = std::move(b.bytes);
        return true;
    }
    bool On(MorphShape&& s) {
        Define(s.id, std::move(s));
        return true;
    }
    bool On(Bitmap&& b) {
        if (!budget_.Charge(sizeof(Bitmap) + b.body.size())) return false;
        Define(b.id, std::move(b));
        return true;
    }
    bool On(Button&& b) {
        Define(b.id, std::move(b));
        return true;
    }
    bool On(ButtonCxformTag&& t) {
        // Colours an earlier DefineButton: the entry is replaced by a coloured copy (the model
        // is still being built, so nothing refers to the old one yet).
        if (!movie_) return true;
        auto it = movie_->dictionary.find(t.buttonId);
        if (it == movie_->dictionary.end()) return true;
        const auto* button = std::get_if<Button>(it->second.get());
        if (!button || button->version != 1) return true;
        Button coloured = *button;
        SetButtonColorTransform(coloured, t.colorTransform);
        it->second = std::make_shared<const Character>(std::move(coloured));
        return true;
    }
    bool On(Font&& f) {
        Define(f.id, std::move(f));
        return true;
    }
    bool On(StaticText&& t) {
        Define(t.id, std::move(t));
        return true;
    }
    bool On(EditText&& t) {
        if (!budget_.Charge(t.initialText.size() + t.variableName.size() + t.fontClass.size()))
            return false;
        Define(t.id, std::move(t));
        return true;
    }
    bool On(FontInfoTag&& info) {
        if (!budget_.Charge(info.codes.size() * sizeof(std::uint16_t) + info.name.size()))
            return false;
        AmendFont(info.fontId, [&](Font& font) { ApplyFontInfo(info, &font); });
        return true;
    }
    bool On(FontNameTag&& name) {
        if (!budget_.Charge(name.name.size() + name.copyright.size())) return false;
        AmendFont(name.fontId, [&](Font& font) { ApplyFontName(name, &font); });
        return true;
    }
    bool On(JpegTablesTag&& t) {
        // One table set serves every DefineBits of the movie; a second one is ignored.
        if (!movie_ || !movie_->jpegTables.empty()) return true;
        if (!budget_.Charge(t.bytes.size())) return false;
        movie_->jpegTables = std::move(t.bytes);
        return true;
    }
    bool On(RawTag&& r) {
        if (!movie_) return true;
        if (!budget_.Charge(sizeof(RawTag) + r.bytes.size())) return false;
        if (IsCharacterDefinition(r.code) && r.bytes.size() >= 2) {
            const std::uint16_t id = static_cast<std::uint16_t>(r.bytes[0] | (r.bytes[1] << 8));
            Define(id, std::move(r));
        } else {
            movie_->rawTags.push_back(std::move(r));
        }
        return true;
    }

    template <typename T>
    void Define(std::uint16_t id, T&& character) {
        if (!movie_) return;  // definitions inside sprites are not allowed: dropped
        if (!budget_.Charge(sizeof(Character) + kMapNodeBytes)) return;
        // The first definition of an id wins, as characters are looked up by id once placed.
        movie_->dictionary.emplace(id,
                                   std::make_shared<const Character>(std::forward<T>(character)));
    }

    // Font information tags change a font defined before them: the entry is replaced by an
    // amended copy while the movie is still being read.
    template <typename Change>
    void AmendFont(std::uint16_t id, Change change) {
        if (!movie_) return;
        auto it = movie_->dictionary.find(id);
        if (it == movie_->dictionary.end()) return;
        const auto* font = std::get_if<Font>(it->second.get());
        if (!font) return;
        Font amended = *font;
        change(amended);
        it->second = std::make_shared<const Character>(std::move(amended));
    }

    // Files a stream's frame under its number; a second frame with the same number is ignored.
    void FileVideoFrame(VideoFrame&& f) {
        if (!budget_.Charge(kMapNodeBytes)) return;
        movie_->videoFrames[f.streamId].emplace(f.frameNumber, std::move(f.data));
    }

    void PushFrame() {
        if (!budget_.Charge(sizeof(Frame))) return;
        if (static_cast<int>(timeline_->frames.size()) >= budget_.Caps().maxFramesPerTimeline) {
            if (!capped_)
                Note(budget_, problems_, "more frames than the engine keeps; the rest are dropped");
            capped_ = true;
            pending_ = Frame{};
            return;
        }
        timeline_->frames.push_back(std::move(pending_));
        pending_ = Frame{};
    }

    Timeline* timeline_;
    Movie* movie_;
    ModelBudget& budget_;
    std::vector<std::string>* problems_;
    Frame pending_;
    bool capped_ = false;
};

}  // namespace

bool ReadTimeline(std::span<const std::uint8_t> data, int nesting, ModelBudget& budget,
                  Timeline* timeline, std::vector<std::string>* problems, Movie* movie,
                  int swfVersion) {
    BitReader in(data);
    TimelineBuilder builder(timeline, movie, budget, problems);
    bool ended = false;
    while (!in.AtEnd()) {
        TagHeader header;
        if (!ReadTagHeader(in, &header)) {
            Note(budget, problems, "data ends inside a tag header");
            break;
        }
        const auto body = in.Bytes(header.length);
        if (in.Failed()) {
            Note(budget, problems, "tag " + std::to_string(header.code) + " claims " +
                               std::to_string(header.length) + " bytes, past the end of the data");
            break;
        }
        std::string problem;
        Tag tag = ReadTag(header.code, body, nesting, budget, &problem, swfVersion);
        if (!problem.empty()) Note(budget, problems, std::move(problem));
        const bool more = builder.Add(std::move(tag));
        if (budget.Exhausted()) {
            Note(budget, problems, "the movie is larger than the engine keeps; the rest is dropped");
            break;
        }
        if (!more) {
            ended = true;
            break;
        }
    }
    builder.Finish();
    return ended;
}

namespace {

LoadError LoadErrorOf(DecompressError error) {
    switch (error) {
        case DecompressError::kNone:
            return LoadError::kNone;
        case DecompressError::kTooShort:
            return LoadError::kTooShort;
        case DecompressError::kBadSignature:
            return LoadError::kBadSignature;
        case DecompressError::kCorruptStream:
            return LoadError::kCorruptStream;
        case DecompressError::kTooLarge:
            return LoadError::kBodyTooLarge;
    }
    return LoadError::kCorruptStream;
}

}  // namespace

std::shared_ptr<const Movie> ReadMovie(std::span<const std::uint8_t> file, std::string* error,
                                       const Limits& limits) {
    LoadError reason = LoadError::kNone;
    auto movie = ReadMovie(file, &reason, limits);
    if (error) *error = movie ? std::string() : LoadErrorName(reason);
    return movie;
}

std::shared_ptr<const Movie> ReadMovie(std::span<const std::uint8_t> file, LoadError* error,
                                       const Limits& limits) {
    ModelBudget budget(limits);
    return ReadMovie(file, error, budget);
}

std::shared_ptr<const Movie> ReadMovie(std::span<const std::uint8_t> file, LoadError* error,
                                       ModelBudget& budget) {
    const Limits& limits = budget.Caps();
    MovieBody body;
    const DecompressError rc = DecompressMovie(file, &body, limits);
    if (rc != DecompressError::kNone) {
        if (error) *error = LoadErrorOf(rc);
        return nullptr;
    }
    auto movie = std::make_shared<Movie>();
    movie->limits = limits;
    movie->version = body.version;
    movie->fileBytes = file.size();
    BitReader in(body.bytes);
    movie->frameSize = ReadRect(in);
    movie->frameRate = in.U16();
    movie->declaredFrameCount = in.U16();
    if (in.Failed()) {
        if (error) *error = LoadError::kHeaderCutShort;
        return nullptr;
    }
    const bool ended = ReadTimeline(std::span(body.bytes).subspan(in.Position()), 0, budget,
                                    &movie->root, &movie->problems, movie.get(), body.version);
    movie->truncated = body.truncated || !ended;
    if (body.truncated)
        Note(budget, &movie->problems, "the movie body breaks off before its stated length");
    if (error) *error = LoadError::kNone;
    return movie;
}

}  // namespace player
