#include "RandomSequence.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <random>

#include "RecordingCheck.h"
#include "components/SorvanIn.h"
#include "components/SorvanOut.h"
#include "framework/Forms.h"

namespace randomseq {

namespace {

using sorvan::wave::Fn;

// The recording file a capture component writes now, as the sequence
// expects it to be.
struct Recording {
    bool open = false;
    std::filesystem::path path;
    std::vector<char> bytes;
    WAVEFORMATEX format{};
};

struct Subject {
    int id = 0;
    TComponent* component = nullptr;
    TSorvanIn* in = nullptr;
    TSorvanOut* out = nullptr;
    TComponent* owner = nullptr;
    bool alive = true;
    // The format of the device opened last.
    WAVEFORMATEX openFormat{};
    Recording file;
    std::vector<UINT_PTR> handles;  // every device the component opened
    std::size_t dones = 0;
    std::size_t closes = 0;  // closes that closed the device
    std::size_t openEvents = 0;
    std::size_t closeEvents = 0;
};
using SubjectPtr = std::shared_ptr<Subject>;

struct Owner {
    TComponent* component = nullptr;
    std::vector<SubjectPtr> owned;
};

class Sequence {
  public:
    Sequence(Devices& devices, std::uint64_t seed, const Options& options)
        : devices_(devices), random_(seed), options_(options) {}

    Outcome Run();

  private:
    // --- choosing ---
    template <class T, std::size_t N>
    T Pick(const std::array<T, N>& values) {
        return values[std::uniform_int_distribution<std::size_t>(0, N - 1)(random_)];
    }
    int Between(int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random_);
    }
    bool Chance(double p) { return std::bernoulli_distribution(p)(random_); }
    // Most values are ones an application would set; the rest are out of range.
    bool Sane() { return Chance(0.75); }
    SubjectPtr AnyAlive();

    // --- what a step can do ---
    void Step();
    void Create();
    void Destroy(const SubjectPtr& s);
    void DestroyOwner(TComponent* owner);
    void Call(const SubjectPtr& s);
    void CallInput(Subject& s);
    void CallOutput(Subject& s);
    void SetCommon(Subject& s);
    void Open(Subject& s);
    void Close(Subject& s);
    void Playback(Subject& s);
    void Pump();
    void InjectFailure();

    // --- events ---
    void Bind(const SubjectPtr& s);
    void BindOnData(const SubjectPtr& s);
    void BindOnDone(const SubjectPtr& s);
    bool Enter(const SubjectPtr& s, TObject* sender, const char* event);
    void React(const SubjectPtr& s, const char* event);

    // --- checking ---
    void Violation(const std::string& what);
    void Note(const std::string& what);
    void CheckFile(Subject& s, const char* when);
    void CheckClosedHandle(Subject& s, UINT_PTR handle, const char* when);
    void CheckDones(Subject& s);
    std::size_t AcceptedWrites(const Subject& s, bool* known);
    void Finish();

    std::string Names(const Subject& s) const {
        return (s.in != nullptr ? "in" : "out") + std::to_string(s.id);
    }

    Devices& devices_;
    std::mt19937_64 random_;
    const Options& options_;
    Outcome outcome_;
    std::vector<SubjectPtr> subjects_;
    std::vector<std::unique_ptr<Owner>> owners_;
    int nextId_ = 0;
    int depth_ = 0;  // handlers running, one inside the other
    int exceptions_ = 0;
};

// --- the sequence ---

Outcome Sequence::Run() {
    devices_.SetUp(random_());
    Application->OnException = [this](TObject*, Exception& e) {
        ++exceptions_;
        Violation("exception escaped a handler: " + e.Message());
    };
    for (; outcome_.stepsRun < options_.steps && outcome_.violations.empty(); ++outcome_.stepsRun) {
        Step();
    }
    Finish();
    Application->OnException = nullptr;
    devices_.TearDown();
    return outcome_;
}

void Sequence::Step() {
    std::erase_if(subjects_, [](const SubjectPtr& s) { return !s->alive; });
    if (subjects_.empty()) {
        Create();
        return;
    }
    const int roll = Between(0, 99);
    if (roll < 4 && subjects_.size() < 4) {
        Create();
    } else if (roll < 6) {
        Destroy(AnyAlive());
    } else if (roll < 7 && !owners_.empty()) {
        DestroyOwner(
            owners_[static_cast<std::size_t>(Between(0, static_cast<int>(owners_.size()) - 1))]
                ->component);
    } else if (roll < 12 && devices_.CanInjectFailures()) {
        InjectFailure();
    } else if (roll < 27) {
        Pump();
    } else if (roll < 50) {
        const auto ms = std::chrono::milliseconds(Pick(std::array{0, 1, 5, 20, 50, 100, 250}));
        Note("advance " + std::to_string(ms.count()) + " ms");
        devices_.Advance(ms);
        if (Chance(0.8)) Pump();
    } else {
        Call(AnyAlive());
    }
}

SubjectPtr Sequence::AnyAlive() {
    return subjects_[static_cast<std::size_t>(Between(0, static_cast<int>(subjects_.size()) - 1))];
}

void Sequence::Create() {
    auto s = std::make_shared<Subject>();
    s->id = nextId_++;
    if (Chance(0.5)) {
        if (owners_.empty() || Chance(0.3)) {
            owners_.push_back(std::make_unique<Owner>(Owner{new TComponent(nullptr), {}}));
        }
        Owner& owner =
            *owners_[static_cast<std::size_t>(Between(0, static_cast<int>(owners_.size()) - 1))];
        s->owner = owner.component;
        owner.owned.push_back(s);
    }
    if (Chance(0.5)) {
        s->in = new TSorvanIn(s->owner);
        s->component = s->in;
    } else {
        s->out = new TSorvanOut(s->owner);
        s->component = s->out;
    }
    Note("create " + Names(*s) + (s->owner != nullptr ? " owned" : ""));
    if (s->in != nullptr) {
        s->in->SetInBuffSize(Pick(std::array{16, 64, 256}));
        if (Chance(0.6)) {
            s->in->SetFileName(
                (options_.folder / ("take" + std::to_string(s->id) + "a.wav")).string());
        }
    }
    Bind(s);
    subjects_.push_back(s);
}

void Sequence::Destroy(const SubjectPtr& s) {
    if (!s->alive) return;
    Note("destroy " + Names(*s));
    s->alive = false;
    delete s->component;
    if (s->in != nullptr) CheckFile(*s, "destruction");
    for (UINT_PTR handle : s->handles) CheckClosedHandle(*s, handle, "destruction");
}

void Sequence::DestroyOwner(TComponent* owner) {
    const auto found = std::find_if(owners_.begin(), owners_.end(),
                                    [owner](const auto& o) { return o->component == owner; });
    if (found == owners_.end()) return;
    const std::unique_ptr<Owner> gone = std::move(*found);
    owners_.erase(found);
    Note("destroy owner");
    // Those destroyed before were checked then.
    std::erase_if(gone->owned, [](const SubjectPtr& s) { return !s->alive; });
    for (const SubjectPtr& s : gone->owned) s->alive = false;
    delete gone->component;
    for (const SubjectPtr& s : gone->owned) {
        if (s->in != nullptr) CheckFile(*s, "destruction of the owner");
        for (UINT_PTR handle : s->handles)
            CheckClosedHandle(*s, handle, "destruction of the owner");
    }
}

void Sequence::Pump() {
    Note("pump");
    Application->ProcessMessages();
}

void Sequence::InjectFailure() {
    static constexpr std::array fns = {
        Fn::waveInOpen,
        Fn::waveInClose,
        Fn::waveInPrepareHeader,
        Fn::waveInUnprepareHeader,
        Fn::waveInAddBuffer,
        Fn::waveInStart,
        Fn::waveInStop,
        Fn::waveInReset,
        Fn::waveInGetDevCapsA,
        Fn::waveOutOpen,
        Fn::waveOutClose,
        Fn::waveOutPrepareHeader,
        Fn::waveOutUnprepareHeader,
        Fn::waveOutWrite,
        Fn::waveOutReset,
        Fn::waveOutGetDevCapsA,
        Fn::waveOutGetVolume,
        Fn::waveOutSetVolume,
    };
    const Fn fn = Pick(fns);
    const MMRESULT code = Pick(std::array<MMRESULT, 4>{MMSYSERR_ERROR, MMSYSERR_NOMEM,
                                                       MMSYSERR_NODRIVER, MMSYSERR_NOTSUPPORTED});
    // At most two in a row: destruction tries three times before it gives up.
    const int count = Between(1, 2);
    if (!devices_.FailNext(fn, code, count)) return;
    Note("fail next " + std::to_string(count) + " " + std::string(sorvan::wave::name(fn)) +
         " with " + std::to_string(code));
    outcome_.injectedFailures += count;
}

// --- calls on one component ---

void Sequence::Call(const SubjectPtr& s) {
    if (!s->alive) return;
    if (s->in != nullptr) {
        CallInput(*s);
    } else {
        CallOutput(*s);
    }
}

void Sequence::SetCommon(Subject& s) {
    TComponent& c = *s.component;
    auto set = [&](auto setter, auto value, const char* what) {
        Note(Names(s) + " " + what + " " + std::to_string(value));
        if (s.in != nullptr) {
            (static_cast<TSorvanIn&>(c).*setter.first)(value);
        } else {
            (static_cast<TSorvanOut&>(c).*setter.second)(value);
        }
    };
    switch (Between(0, 3)) {
        case 0:
            set(std::pair(&TSorvanIn::SetChannels, &TSorvanOut::SetChannels),
                Sane() ? Pick(std::array{1, 2}) : Pick(std::array{8, 0, -1, 3, 65537}),
                "SetChannels");
            break;
        case 1:
            set(std::pair(&TSorvanIn::SetSamples, &TSorvanOut::SetSamples),
                Sane() ? Pick(std::array{8000, 11025, 44100}) : Pick(std::array{0, -8000, 1}),
                "SetSamples");
            break;
        case 2:
            set(std::pair(&TSorvanIn::SetBits, &TSorvanOut::SetBits),
                Sane() ? Pick(std::array{8, 16}) : Pick(std::array{24, 32, 12, 0, -16}), "SetBits");
            break;
        default: {
            // Existing devices, one past them, and raw bytes past the enumeration.
            const std::size_t count = s.in != nullptr ? devices_.Inputs() : devices_.Outputs();
            const int ordinal = Sane() ? Between(0, static_cast<int>(count)) : Between(0, 255);
            Note(Names(s) + " SetWantedDev " + std::to_string(ordinal));
            if (s.in != nullptr) {
                s.in->SetWantedDev(static_cast<TSVDev>(ordinal));
            } else {
                s.out->SetWantedDev(static_cast<TSVDev>(ordinal));
            }
        }
    }
}

void Sequence::Open(Subject& s) {
    Note("open " + Names(s));
    const bool wasOpen = s.in != nullptr ? s.in->IsOpen() : s.out->IsOpen();
    const UINT_PTR before = s.in != nullptr ? reinterpret_cast<UINT_PTR>(s.in->DeviceID())
                                            : reinterpret_cast<UINT_PTR>(s.out->DeviceID());
    if (s.in != nullptr) {
        s.in->open();
    } else {
        s.out->open();
    }
    const bool isOpen = s.in != nullptr ? s.in->IsOpen() : s.out->IsOpen();
    const UINT_PTR after = s.in != nullptr ? reinterpret_cast<UINT_PTR>(s.in->DeviceID())
                                           : reinterpret_cast<UINT_PTR>(s.out->DeviceID());
    if (wasOpen && after != before)
        Violation(Names(s) + ": open on an open component took a new device");
    if (!wasOpen && isOpen) {
        s.handles.push_back(after);
        s.openFormat =
            s.in != nullptr
                ? MakePcmFormat(s.in->channels(), s.in->samples(), s.in->SampleBits())
                : MakePcmFormat(s.out->channels(), s.out->samples(), s.out->SampleBits());
    }
}

void Sequence::Close(Subject& s) {
    Note("close " + Names(s));
    const bool wasOpen = s.in != nullptr ? s.in->IsOpen() : s.out->IsOpen();
    if (s.in != nullptr) {
        s.in->close();
    } else {
        s.out->close();
    }
    const bool isOpen = s.in != nullptr ? s.in->IsOpen() : s.out->IsOpen();
    if (wasOpen && !isOpen && !s.handles.empty()) {
        ++s.closes;
        CheckClosedHandle(s, s.handles.back(), "close");
    }
}

void Sequence::Playback(Subject& s) {
    static constexpr std::array sizes = {0, 1, 2, 3, 5, 64, 100, 333, 1000, 4000};
    const int size = Pick(sizes);
    std::vector<char> block(static_cast<std::size_t>(size));
    for (char& b : block) b = static_cast<char>(random_());
    switch (Between(0, 9)) {
        case 0:
            Note("playback " + Names(s) + " refused arguments");
            s.out->playback(nullptr, size + 1);
            s.out->playback(block.data(), -1 - size);
            break;
        case 1:
            Note("playback " + Names(s) + " null 0");
            s.out->playback(nullptr, 0);
            break;
        default:
            Note("playback " + Names(s) + " " + std::to_string(size));
            s.out->playback(block.data(), size);
    }
}

void Sequence::CallInput(Subject& s) {
    TSorvanIn& in = *s.in;
    switch (Between(0, 11)) {
        case 0:
        case 1:
        case 2:
            Open(s);
            break;
        case 3:
            if (Chance(0.5)) {
                Close(s);
                break;
            }
            [[fallthrough]];
        case 4:
            Note(Names(s) + " capabilities");
            in.SetCaps(in.capabilities());
            break;
        case 5:
            Note("CloseWAVFile " + Names(s));
            in.CloseWAVFile();
            CheckFile(s, "CloseWAVFile");
            break;
        case 6: {
            const int value = Sane() ? Pick(std::array{1, 2, 3, 9}) : Pick(std::array{0, 10, 255});
            Note(Names(s) + " SetMaxBuffers " + std::to_string(value));
            in.SetMaxBuffers(static_cast<TSVIBuffers>(value));
            break;
        }
        case 7: {
            const int value = Sane() ? Pick(std::array{16, 17, 64, 100, 333})
                                     : Pick(std::array{1, 0, -1, 2048, 1 << 20});
            Note(Names(s) + " SetInBuffSize " + std::to_string(value));
            in.SetInBuffSize(value);
            break;
        }
        case 8: {
            // Its own names, so that no other component writes them; a folder
            // that does not exist and the folder itself cannot be created.
            const std::string name = Pick(std::array<std::string, 5>{
                "", "take" + std::to_string(s.id) + "a.wav",
                "take" + std::to_string(s.id) + "b.wav", "missing/take.wav", "."});
            const std::string path = name.empty() ? "" : (options_.folder / name).string();
            Note(Names(s) + " SetFileName '" + name + "'");
            in.SetFileName(path);
            break;
        }
        case 9:
            Note(Names(s) + " capabilities");
            in.SetCaps(in.capabilities());
            break;
        default:
            SetCommon(s);
    }
}

void Sequence::CallOutput(Subject& s) {
    TSorvanOut& out = *s.out;
    switch (Between(0, 11)) {
        case 0:
        case 1:
            Open(s);
            break;
        case 2:
            if (Chance(0.5)) {
                Close(s);
                break;
            }
            [[fallthrough]];
        case 3:
            Note("reset " + Names(s));
            out.reset();
            break;
        case 4:
        case 5:
        case 6:
            Playback(s);
            break;
        case 7:
            Note(Names(s) + " capabilities");
            out.SetCaps(out.capabilities());
            break;
        case 8: {
            const int value = Pick(std::array{0, 1, 0x7FFF, 0xFFFF});
            Note(Names(s) + " volume " + std::to_string(value));
            out.SetVolume(static_cast<WORD>(value));
            static_cast<void>(out.volume());
            break;
        }
        default:
            SetCommon(s);
    }
}

// --- events ---

void Sequence::Bind(const SubjectPtr& s) {
    auto plain = [this, s](const char* event) {
        return [this, s, event](TObject* sender) {
            if (!Enter(s, sender, event)) return;
            // One OnOpen per device opened, one OnClose per device closed.
            if (std::string(event) == "OnOpen" && ++s->openEvents > s->handles.size()) {
                Violation(Names(*s) + ": more OnOpen than devices opened");
            }
            if (std::string(event) == "OnClose" && ++s->closeEvents > s->closes) {
                Violation(Names(*s) + ": more OnClose than devices closed");
            }
            if (s->in != nullptr && std::string(event) == "OnOpen" && !s->file.open &&
                !s->in->FileName().empty()) {
                // The file is created before OnOpen, where a file can be.
                const std::filesystem::path path = s->in->FileName();
                const bool creatable =
                    path.filename() != "." && path.parent_path().filename() != "missing";
                s->file = Recording{creatable, path, {}, s->openFormat};
            }
            if (s->in != nullptr && std::string(event) == "OnClose") CheckFile(*s, "OnClose");
            React(s, event);
        };
    };
    if (s->in != nullptr) {
        s->in->OnOpen = plain("OnOpen");
        s->in->OnClose = plain("OnClose");
        BindOnData(s);
    } else {
        s->out->OnOpen = plain("OnOpen");
        s->out->OnClose = plain("OnClose");
        BindOnDone(s);
    }
}

void Sequence::BindOnData(const SubjectPtr& s) {
    s->in->OnData = [this, s](TObject* sender, char* data, std::int32_t size) {
        if (!Enter(s, sender, "OnData")) return;
        if (!s->in->IsOpen()) Violation(Names(*s) + ": OnData while closed");
        const int frame = std::max<int>(s->openFormat.nBlockAlign, 1);
        if (data == nullptr || size <= 0 || size % frame != 0) {
            Violation(Names(*s) + ": OnData with " + std::to_string(size) + " bytes, frames of " +
                      std::to_string(frame));
        } else if (s->file.open) {
            s->file.bytes.insert(s->file.bytes.end(), data, data + size);
        }
        React(s, "OnData");
    };
}

void Sequence::BindOnDone(const SubjectPtr& s) {
    s->out->OnDone = [this, s](TObject* sender) {
        if (!Enter(s, sender, "OnDone")) return;
        ++s->dones;
        bool known = false;
        const std::size_t accepted = AcceptedWrites(*s, &known);
        if (known && s->dones > accepted) {
            Violation(Names(*s) + ": OnDone " + std::to_string(s->dones) + " times for " +
                      std::to_string(accepted) + " blocks the devices accepted");
        }
        React(s, "OnDone");
    };
}

bool Sequence::Enter(const SubjectPtr& s, TObject* sender, const char* event) {
    ++outcome_.events;
    Note(std::string("  ") + event + " " + Names(*s));
    if (!s->alive) {
        Violation(std::string(event) + " ran for destroyed " + Names(*s));
        return false;
    }
    if (sender != s->component)
        Violation(std::string(event) + " of " + Names(*s) + " with another sender");
    return true;
}

// A handler makes a call of its own now and then, one level deep at most.
void Sequence::React(const SubjectPtr& s, const char* event) {
    if (depth_ > 0 || !Chance(0.25)) return;
    ++depth_;
    Note(std::string("  in ") + event + " of " + Names(*s) + ":");
    switch (Between(0, 15)) {
        case 0:
            Destroy(s);
            break;
        case 1:
            if (s->owner != nullptr) {
                DestroyOwner(s->owner);
                break;
            }
            [[fallthrough]];
        case 2:
            // A new handler for the event that is running.
            Note("  reassign " + std::string(event));
            if (std::string(event) == "OnData") {
                BindOnData(s);
            } else if (std::string(event) == "OnDone") {
                BindOnDone(s);
            } else {
                Bind(s);
            }
            break;
        case 3:
            Pump();
            break;
        default:
            Call(s->alive ? s : AnyAlive());
    }
    --depth_;
}

// --- checking ---

void Sequence::Violation(const std::string& what) {
    outcome_.violations.push_back(what);
    Note("VIOLATION: " + what);
}

void Sequence::Note(const std::string& what) {
    outcome_.steps.push_back(what);
    if (options_.trace) std::fprintf(stderr, "  %s\n", what.c_str());
}

// Called where the component has just completed its file, if it had one.
void Sequence::CheckFile(Subject& s, const char* when) {
    if (!s.file.open) return;
    s.file.open = false;
    ++outcome_.filesChecked;
    const Recording& r = s.file;
    for (const std::string& problem : CheckRecording(r.path, r.bytes, r.format)) {
        Violation(Names(s) + " " + r.path.filename().string() + " after " + when + ": " + problem);
    }
}

void Sequence::CheckClosedHandle(Subject& s, UINT_PTR handle, const char* when) {
    const MMRESULT result = s.in != nullptr ? waveInClose(reinterpret_cast<HWAVEIN>(handle))
                                            : waveOutClose(reinterpret_cast<HWAVEOUT>(handle));
    if (result != MMSYSERR_INVALHANDLE) {
        Violation(Names(s) + ": device still open after " + when + " (close gave " +
                  std::to_string(result) + ")");
    }
}

std::size_t Sequence::AcceptedWrites(const Subject& s, bool* known) {
    std::size_t total = 0;
    *known = true;
    for (UINT_PTR handle : s.handles) {
        const auto accepted = devices_.AcceptedWrites(reinterpret_cast<HWAVEOUT>(handle));
        if (!accepted) {
            *known = false;
            return 0;
        }
        total += *accepted;
    }
    return total;
}

// A player that is closed and has handled its notifications has had one
// OnDone for every block a device accepted.
void Sequence::CheckDones(Subject& s) {
    bool known = false;
    const std::size_t accepted = AcceptedWrites(s, &known);
    if (known && s.alive && !s.out->IsOpen() && s.dones != accepted) {
        Violation(Names(s) + ": " + std::to_string(s.dones) + " OnDone for " +
                  std::to_string(accepted) + " blocks the devices accepted");
    }
}

void Sequence::Finish() {
    Note("finish");
    depth_ = 1;  // handlers make no calls of their own from here on
    // Twice: the first close may meet a failure still waiting.
    for (int round = 0; round < 2; ++round) {
        for (const SubjectPtr& s : subjects_) {
            if (s->alive) Close(*s);
        }
    }
    Pump();
    for (const SubjectPtr& s : subjects_) {
        if (s->alive && s->out != nullptr) CheckDones(*s);
    }
    for (const SubjectPtr& s : subjects_) Destroy(s);
    while (!owners_.empty()) DestroyOwner(owners_.back()->component);
    Pump();
    if (exceptions_ > 0) Violation(std::to_string(exceptions_) + " exceptions escaped");
}

}  // namespace

Outcome RunSequence(Devices& devices, std::uint64_t seed, const Options& options) {
    return Sequence(devices, seed, options).Run();
}

}  // namespace randomseq
