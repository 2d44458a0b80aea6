// The registry store: any file, one text value written. The value reads back as written,
// every other value keeps its type and data, and no value appears or vanishes.
#include "frame/registry.h"
#include "frame/textutil.h"
#include "fuzzsupport.h"

#include <map>
#include <tuple>

namespace {
using Values =
    std::map<std::pair<std::string, std::string>, std::tuple<int, std::string, uint32_t>>;

// Each value as a reader sees it: the first of duplicates wins.
Values Visible(const qelp::RegistryStore& store) {
    Values out;
    for (const qelp::RegistryValue& v : store.List())
        out.emplace(std::make_pair(qelp::ToUpperAscii(v.key), qelp::ToUpperAscii(v.name)),
                    std::make_tuple(static_cast<int>(v.type), v.text, v.dword));
    return out;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string name = qelpfuzz::Printable(in, true), value = qelpfuzz::Printable(in, false);
    const std::string path = qelpfuzz::ScratchDir() + "registry.reg";
    FUZZ_CHECK(qelp::fileio::WriteFileReplacing(path, in.ConsumeRemainingBytesAsString()));
    qelp::RegistryStore store(path);
    Values before = Visible(store);
    FUZZ_CHECK(store.WriteText("Software\\QELP", name, value));
    Values after = Visible(store);
    const auto target = std::make_pair(qelp::ToUpperAscii("HKEY_LOCAL_MACHINE\\Software\\QELP"),
                                       qelp::ToUpperAscii(name));
    FUZZ_CHECK(after.count(target) == 1 && after[target] == std::make_tuple(0, value, uint32_t{0}));
    before.erase(target);
    after.erase(target);
    FUZZ_CHECK(before == after);
    return 0;
}
