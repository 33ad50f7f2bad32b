# The source tree's layers, checked every time the build is configured: the portable core
# reaches no Windows header and no header of the shell, and inside each layer includes run
# one way only. A violation stops the configuration with the offending lines.
set(_mw_src ${PROJECT_SOURCE_DIR}/src)
set(_mw_windows_headers
    "<(windows|win[a-z0-9]*|ole[a-z0-9]*|ocidl|objbase|objidl|strmif|dshow|uuids|mm[a-z]*|unknwn|commctrl|shellapi|shlobj|guiddef|basetyps|htmlhelp|vfw|control|evcode|amvideo|wtypes|rpc[a-z]*)\\.h>")

# folder (under src) ~ pattern its files must not include ~ why
set(_mw_rules
    "core~${_mw_windows_headers}~the core is portable"
    "core~\"(win|lv2)/~the core never includes a shell"
    "core/frame~\"core/(effects|ui)/~the frame sits below the effects and the UI logic"
    "core/dsp~\"core/(effects|ui)/~signal-processing pieces sit below the effects"
    "win/dshow~\"win/(filters|module|ui)/~the framework knows no filter, page or module"
    "win/filters~\"win/(module|ui/controls|ui/pages)/~filters know no module, control or page"
    "win/ui~\"win/(filters|module)/~controls and pages reach filters through their interfaces"
    "win/ui/util~\"win/ui/(controls|pages)/~the shared utilities know no control or page"
    "lv2~${_mw_windows_headers}~the LV2 shell runs where Windows does not"
    "lv2~\"win/~the LV2 shell stands beside the Windows shell, over the core alone")

set(_mw_violations "")
foreach(rule IN LISTS _mw_rules)
  string(REPLACE "~" ";" parts "${rule}")
  list(GET parts 0 folder)
  list(GET parts 1 pattern)
  list(GET parts 2 reason)
  file(GLOB_RECURSE files ${_mw_src}/${folder}/*.h ${_mw_src}/${folder}/*.cpp
       ${_mw_src}/${folder}/*.inc)
  foreach(f IN LISTS files)
    file(STRINGS ${f} lines REGEX "^[ \t]*#[ \t]*include[ \t]+${pattern}")
    foreach(line IN LISTS lines)
      file(RELATIVE_PATH rel ${PROJECT_SOURCE_DIR} ${f})
      string(APPEND _mw_violations "  ${rel}: ${line}  (${reason})\n")
    endforeach()
  endforeach()
endforeach()
if(_mw_violations)
  message(FATAL_ERROR "Includes that cross the layers:\n${_mw_violations}")
endif()
