/*
 * rule.hpp - which validation rule the core under test was built with:
 * the character rule when LENDREC_CHARACTER_RULE is defined or <regex.h>
 * is missing, the pattern rule otherwise.
 */
#ifndef LENDREC_TESTS_RULE_HPP
#define LENDREC_TESTS_RULE_HPP

#if defined(LENDREC_CHARACTER_RULE) || !__has_include(<regex.h>)
inline constexpr bool kCharacterRule = true;
#else
inline constexpr bool kCharacterRule = false;
#endif

#endif
