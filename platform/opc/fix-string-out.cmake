# widl 7.0 describes an [out, string] LPWSTR* parameter by the type offset of the string
# (FC_OP FC_C_WSTRING) instead of the reference pointer that encloses it, so the proxy
# unmarshals nothing and hands the caller S_OK with a NULL string. In the generated format
# strings the enclosing pointer always stands right before the string:
#     /* N (LPWSTR *) */  0x11, 0x14, NdrFcShort(0x2)   FC_RP [allocated_on_stack] [pointer_deref]
#     /* N+4 (LPWSTR) */  0x13, 0x8, 0x25 ...            FC_OP [simple_pointer] FC_C_WSTRING
# An out parameter that names N+4 is repointed at N.
# Usage: cmake -DIN=raw_p.c -DOUT=fixed_p.c -P fix-string-out.cmake
file(READ ${IN} text)
string(REGEX MATCHALL "/\\* [0-9]+ \\((LPWSTR|LPOLESTR) \\*\\) \\*/" outer "${text}")
set(fixed 0)
foreach(entry ${outer})
  string(REGEX REPLACE "/\\* ([0-9]+) .*" "\\1" at "${entry}")
  math(EXPR inner "${at} + 4")
  math(EXPR inner_hex "${inner}" OUTPUT_FORMAT HEXADECIMAL)
  math(EXPR at_hex "${at}" OUTPUT_FORMAT HEXADECIMAL)
  # widl writes the offset in lower-case hex.
  string(TOLOWER "${inner_hex}" inner_hex)
  string(TOLOWER "${at_hex}" at_hex)
  set(pattern "out, srv size=8 \\*/\n        NdrFcShort\\(0x[0-9a-f]+\\),\t/\\* stack offset = [0-9]+ \\*/\n        NdrFcShort\\(${inner_hex}\\),\t/\\* type offset = ${inner} \\*/")
  string(REGEX MATCHALL "${pattern}" hits "${text}")
  foreach(hit ${hits})
    string(REPLACE "NdrFcShort(${inner_hex}),\t/* type offset = ${inner} */"
                   "NdrFcShort(${at_hex}),\t/* type offset = ${at} (repointed) */" good "${hit}")
    string(REPLACE "${hit}" "${good}" text "${text}")
    math(EXPR fixed "${fixed} + 1")
  endforeach()
endforeach()
file(WRITE ${OUT} "${text}")
message(STATUS "fix-string-out: ${fixed} parameter(s) repointed in ${OUT}")
