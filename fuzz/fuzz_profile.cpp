// Profile files: any text, one key written. The value reads back as written, from the file
// and from memory alike; another key reads as before; the indexed snapshot agrees with the
// plain lookup.
#include "frame/profile.h"
#include "frame/textutil.h"
#include "fuzzsupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    namespace profile = qelp::profile;
    FuzzedDataProvider in(data, size);
    const auto plain = [&] { return qelpfuzz::Printable(in, true, 12); }; // as programs write
    const std::string section = plain(), key = plain(), value = plain();
    const std::string otherSection = plain(), otherKey = plain();
    const std::string text = in.ConsumeRemainingBytesAsString();

    const std::string path = qelpfuzz::ScratchDir() + "profile.ini";
    FUZZ_CHECK(qelp::fileio::WriteFileReplacing(path, text));
    const std::string other = profile::LookupInText(text, otherSection, otherKey);
    FUZZ_CHECK(profile::ProfileSnapshot(text).Read(otherSection, otherKey) ==
               profile::ReadProfileString(otherSection, otherKey, path));
    FUZZ_CHECK(profile::WriteProfileString(section, key, value, path));
    std::string written;
    FUZZ_CHECK(qelp::fileio::ReadFileBytes(path, written));
    FUZZ_CHECK(written == profile::SetInText(text, section, key, value));
    FUZZ_CHECK(profile::ReadProfileString(section, key, path) == value);
    FUZZ_CHECK(profile::LookupInText(written, section, key) == value);
    if (!qelp::EqualsIgnoreCase(section, otherSection) || !qelp::EqualsIgnoreCase(key, otherKey))
        FUZZ_CHECK(profile::LookupInText(written, otherSection, otherKey) == other);
    return 0;
}
