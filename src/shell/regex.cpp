#include "shell/regex.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

namespace tv {

bool regexMatch(std::string_view pattern, std::string_view subject) {
    int errorCode = 0;
    PCRE2_SIZE errorOffset = 0;
    pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(), 0, &errorCode,
                                     &errorOffset, nullptr);
    if (!code) return false;
    pcre2_match_data* match = pcre2_match_data_create_from_pattern(code, nullptr);
    bool found = false;
    if (match) {
        int rc = pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(subject.data()), subject.size(), 0, 0, match, nullptr);
        found = rc >= 0;
        pcre2_match_data_free(match);
    }
    pcre2_code_free(code);
    return found;
}

}  // namespace tv
