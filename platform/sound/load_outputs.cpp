// Loads the sound module beside the program: at the same place relative to the program in the build folder
// and where it is installed, so no search path is needed and nothing is looked for elsewhere.
#include "platform/sound/sound_module.h"

#include <dlfcn.h>

#include <filesystem>
#include <mutex>
#include <string>
#include <system_error>

namespace platform::tone {

namespace {

#define PELMORA_STRINGIFY(name) #name
#define PELMORA_NAME_OF(name) PELMORA_STRINGIFY(name)

using MakeOutputs = Outputs* (*)();

// Every tone is unavailable, with the reason the module could not be loaded.
class MissingOutputs final : public Outputs {
public:
    explicit MissingOutputs(std::string reason) : m_reason("the sound module could not be loaded: " + reason) {}
    void ready(const CutSignal&, Clock::time_point) override {}
    Result playOnServer(const Wave&, const CutSignal&, Clock::time_point) override { return unavailable(); }
    Result playOnDevice(const Wave&, const CutSignal&, Clock::time_point) override { return unavailable(); }
    bool release(Clock::time_point) override { return true; }

private:
    Result unavailable() const { return {Outcome::Unavailable, m_reason}; }
    std::string m_reason;
};

std::filesystem::path modulePath()
{
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    return (program.parent_path() / PELMORA_SOUND_MODULE_FROM_PROGRAM).lexically_normal();
}

struct Loaded {
    MakeOutputs make = nullptr;
    std::string problem;
};

Loaded loadModule()
{
    const std::filesystem::path path = modulePath();
    // Kept loaded for the rest of the process: outputs made by it may outlive any one caller.
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module)
        return {nullptr, dlerror()};
    auto make = reinterpret_cast<MakeOutputs>(dlsym(module, PELMORA_NAME_OF(PELMORA_SOUND_ENTRY)));
    if (!make)
        return {nullptr, path.native() + ": " + dlerror()};
    return {make, {}};
}

} // namespace

std::unique_ptr<Outputs> loadOutputs()
{
    static std::once_flag once;
    static Loaded loaded;
    std::call_once(once, [] { loaded = loadModule(); });
    if (!loaded.make)
        return std::make_unique<MissingOutputs>(loaded.problem);
    return std::unique_ptr<Outputs>(loaded.make());
}

} // namespace platform::tone
