// MD5 of a text as 32 lower-case hex digits. AWEKAS wants the password in
// this form; nothing here relies on MD5 for security.
#pragma once
#include <string>

std::string md5_hex(const std::string &text);
