# Command-line checks of `zarn render`: exit status, messages, and that a refused or failed render
# leaves nothing behind. Run as: cmake -DZARN=<zarn binary> -DWORK=<scratch folder> -P this file.

if(NOT ZARN OR NOT WORK)
  message(FATAL_ERROR "usage: cmake -DZARN=<zarn> -DWORK=<folder> -P render_errors.cmake")
endif()

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")

# Runs zarn with the given arguments; sets rc, out and err in the caller.
function(run_zarn)
  execute_process(COMMAND "${ZARN}" ${ARGN}
    RESULT_VARIABLE result OUTPUT_VARIABLE stdout ERROR_VARIABLE stderr)
  set(rc "${result}" PARENT_SCOPE)
  set(out "${stdout}" PARENT_SCOPE)
  set(err "${stderr}" PARENT_SCOPE)
endfunction()

function(expect_status case expected)
  if(NOT rc STREQUAL "${expected}")
    message(FATAL_ERROR "${case}: exit status ${rc}, expected ${expected}\nstdout: ${out}\nstderr: ${err}")
  endif()
endfunction()

function(expect_in case text haystack)
  string(FIND "${haystack}" "${text}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${case}: expected \"${text}\" in:\n${haystack}")
  endif()
endfunction()

# Neither the output nor any temporary file beside it may be left.
function(expect_nothing_left case output)
  file(GLOB leftovers "${output}*")
  if(leftovers)
    message(FATAL_ERROR "${case}: left behind: ${leftovers}")
  endif()
endfunction()

function(expect_refused case output)
  expect_status("${case}" 2)
  expect_nothing_left("${case}" "${output}")
  string(STRIP "${err}" message)
  if(message STREQUAL "")
    message(FATAL_ERROR "${case}: no error message")
  endif()
endfunction()

# Inputs.
run_zarn(generate demo "${WORK}/demo.wav" --seconds 2)
expect_status("generate demo" 0)
run_zarn(generate pink "${WORK}/three.wav" --seconds 0.5 --channels 3)
expect_status("generate three channels" 0)
file(WRITE "${WORK}/not-audio.wav" "this is not a sound file\n")

# Missing input.
run_zarn(render "${WORK}/missing.wav" "${WORK}/out-missing.wav")
expect_refused("missing input" "${WORK}/out-missing.wav")
expect_in("missing input" "missing.wav" "${err}")

# A file that is not audio.
run_zarn(render "${WORK}/not-audio.wav" "${WORK}/out-garbage.wav")
expect_refused("unreadable input" "${WORK}/out-garbage.wav")
expect_in("unreadable input" "not-audio.wav" "${err}")

# Three channels.
run_zarn(render "${WORK}/three.wav" "${WORK}/out-three.wav")
expect_refused("three channels" "${WORK}/out-three.wav")
expect_in("three channels" "3 channels" "${err}")

# Unknown parameter: the message lists the valid names.
run_zarn(render "${WORK}/demo.wav" "${WORK}/out-unknown.wav" --set "Volume=3")
expect_refused("unknown parameter" "${WORK}/out-unknown.wav")
expect_in("unknown parameter" "Volume" "${err}")
expect_in("unknown parameter" "Drive L" "${err}")
expect_in("unknown parameter" "Target LUFS" "${err}")

# A value that is not a number, and one that is not finite.
run_zarn(render "${WORK}/demo.wav" "${WORK}/out-value.wav" --set "Release=fast")
expect_refused("non-numeric value" "${WORK}/out-value.wav")
run_zarn(render "${WORK}/demo.wav" "${WORK}/out-nan.wav" --set "Release=nan")
expect_refused("nan value" "${WORK}/out-nan.wav")

# A value outside the parameter's range names the range.
run_zarn(render "${WORK}/demo.wav" "${WORK}/out-range.wav" --set "Ceiling L=3")
expect_refused("out-of-range value" "${WORK}/out-range.wav")
expect_in("out-of-range value" "Ceiling L = 3: out of range -20 .. 0 dBTP" "${err}")

# Parameter moves (--at SECONDS "Name=value"): a time that is not a number, negative or not
# within the input (the demo lasts exactly 2 s), a missing setting, and a bad name or value are
# refused as a bad --set is, before anything is written.
foreach(time -1 -0.5 nan inf 1s)
  run_zarn(render "${WORK}/demo.wav" "${WORK}/out-at.wav" --at "${time}" "Loud=50")
  expect_refused("--at \"${time}\"" "${WORK}/out-at.wav")
  expect_in("--at \"${time}\"" "--at \"${time}\": expected a time in seconds" "${err}")
endforeach()
foreach(time 2 2.00001 1e+09)
  run_zarn(render "${WORK}/demo.wav" "${WORK}/out-at.wav" --at ${time} "Loud=50")
  expect_refused("--at ${time}" "${WORK}/out-at.wav")
  expect_in("--at ${time}" "--at ${time} \"Loud=50\": past the end of ${WORK}/demo.wav, which lasts 2 s" "${err}")
endforeach()
run_zarn(render "${WORK}/demo.wav" "${WORK}/out-at.wav" --at 1.5)
expect_refused("--at without a setting" "${WORK}/out-at.wav")
expect_in("--at without a setting" "--at 1.5 needs a setting" "${err}")
run_zarn(render "${WORK}/demo.wav" "${WORK}/out-at.wav" --at 1 "Volume=3")
expect_refused("--at unknown parameter" "${WORK}/out-at.wav")
expect_in("--at unknown parameter" "--at 1 \"Volume=3\": unknown parameter \"Volume\"" "${err}")
expect_in("--at unknown parameter" "Target LUFS" "${err}")
run_zarn(render "${WORK}/demo.wav" "${WORK}/out-at.wav" --at 1 "Ceiling L=3")
expect_refused("--at out-of-range value" "${WORK}/out-at.wav")
expect_in("--at out-of-range value" "Ceiling L = 3: out of range -20 .. 0 dBTP" "${err}")
run_zarn(render "${WORK}/demo.wav" "${WORK}/out-at.wav" --at 1 "Loud Clip=Sharp")
expect_refused("--at bad text" "${WORK}/out-at.wav")
expect_in("--at bad text" "Loud Clip = Sharp: expected Soft, Cubic or Hard" "${err}")

# Good moves: listed in the order they take effect, each at the first sample at or after its time
# and in force from the start of the block holding it, in both reports.
run_zarn(render "${WORK}/demo.wav" "${WORK}/out-at.wav" --json --block 1000
         --set "Loud=100" --at 1.5003 "Loud Clip=Hard" --at 0.25 "loud=40")
expect_status("--at render" 0)
string(JSON count LENGTH "${out}" moves)
string(JSON first_name GET "${out}" moves 0 name)
string(JSON first_frame GET "${out}" moves 0 frame)
string(JSON first_start GET "${out}" moves 0 blockStart)
string(JSON second_text GET "${out}" moves 1 text)
string(JSON second_frame GET "${out}" moves 1 frame)
string(JSON second_start GET "${out}" moves 1 blockStart)
if(NOT count EQUAL 2 OR NOT first_name STREQUAL "Loud" OR NOT first_frame EQUAL 12000 OR NOT first_start EQUAL 12000
   OR NOT second_text STREQUAL "Hard" OR NOT second_frame EQUAL 72015 OR NOT second_start EQUAL 72000)
  message(FATAL_ERROR "--at render: moves as reported:\n${out}")
endif()
run_zarn(render "${WORK}/demo.wav" "${WORK}/out-at.wav" --at 0.5 "Dither=16-bit")
expect_status("--at render, text report" 0)
expect_in("--at render, text report" "moves           Dither 16-bit at 0.5 s (frame 24000, in force from 23552)" "${out}")

# An output whose extension names no format the renderer writes.
run_zarn(render "${WORK}/demo.wav" "${WORK}/out-format.mp3")
expect_refused("unknown extension" "${WORK}/out-format.mp3")
expect_in("unknown extension" ".wav, .flac, .aiff or .aif" "${err}")

# Two options that both choose the word length.
run_zarn(render "${WORK}/demo.wav" "${WORK}/out-both.wav" --format float --bits 16)
expect_refused("--format with --bits" "${WORK}/out-both.wav")

# Block sizes out of range.
foreach(block 0 65537 12x)
  run_zarn(render "${WORK}/demo.wav" "${WORK}/out-block.wav" --block ${block})
  expect_refused("block ${block}" "${WORK}/out-block.wav")
endforeach()

# Unknown subcommand; usage with no arguments.
run_zarn(mix "${WORK}/demo.wav")
expect_status("unknown subcommand" 2)
expect_in("unknown subcommand" "usage:" "${err}")
run_zarn()
expect_status("no arguments" 0)
expect_in("no arguments" "usage:" "${out}")

# A good render, human report.
run_zarn(render "${WORK}/demo.wav" "${WORK}/out-good.wav" --set "drive l=9" --set "DRIVE R=9")
expect_status("good render" 0)
if(NOT EXISTS "${WORK}/out-good.wav")
  message(FATAL_ERROR "good render: no output file")
endif()
expect_in("good render" "dBTP" "${out}")
file(GLOB leftovers "${WORK}/out-good.wav.*")
if(leftovers)
  message(FATAL_ERROR "good render: temporary files left: ${leftovers}")
endif()

# A good render, JSON report.
run_zarn(render "${WORK}/demo.wav" "${WORK}/out-json.wav" --json --block 100)
expect_status("json render" 0)
string(JSON frames GET "${out}" frames)
string(JSON rate GET "${out}" sampleRate)
if(NOT frames EQUAL 96000 OR NOT rate EQUAL 48000)
  message(FATAL_ERROR "json render: frames ${frames}, sampleRate ${rate}:\n${out}")
endif()

string(JSON peak GET "${out}" wholeFile outputTruePeakDbtp)
string(JSON tick_lufs GET "${out}" lastMeterTick lufsI)
if(peak GREATER 0 OR tick_lufs LESS -70)
  message(FATAL_ERROR "json render: true peak ${peak}, last tick ${tick_lufs}:\n${out}")
endif()

# 16 bits without dither: a warning on standard error, and the file is written.
run_zarn(render "${WORK}/demo.wav" "${WORK}/out-16.flac" --bits 16 --set "Dither=Off")
expect_status("undithered render" 0)
expect_in("undithered render" "zarn: warning: " "${err}")
expect_in("undithered render" "Dither is Off" "${err}")

# The parameter list.
run_zarn(params)
expect_status("params" 0)
expect_in("params" "Ceiling L" "${out}")
run_zarn(params --json)
expect_status("params --json" 0)
string(JSON count LENGTH "${out}")
if(NOT count EQUAL 27)
  message(FATAL_ERROR "params --json: ${count} parameters")
endif()

# Rendering onto the input is refused and the input survives.
file(SIZE "${WORK}/demo.wav" size_before)
run_zarn(render "${WORK}/demo.wav" "${WORK}/demo.wav")
expect_status("output is input" 2)
file(SIZE "${WORK}/demo.wav" size_after)
if(NOT size_before EQUAL size_after)
  message(FATAL_ERROR "output is input: the input changed")
endif()

message(STATUS "render command-line checks passed")
