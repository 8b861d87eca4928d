# The highlighting script of Vellum's resource bundle, assembled from the system's highlighter
# package: its core, the grammars below in dependency order, and our entry function.
# Expects VELLUM_BUNDLE_DIR (the bundle directory) and the `vellum` target.

set(MOSS_PRISM_DIR /usr/share/nodejs/prismjs CACHE PATH "Installed highlighter package")
# The languages of code blocks met in real READMEs. Each grammar adds to every worker's start:
# these 32 beyond the first 23 took a worker's first answer from 57 to 63-70 ms; JSX and TSX
# are left out, as they alone would add 30 ms more.
set(VELLUM_PRISM_LANGUAGES
  markup css clike javascript typescript json yaml markdown diff bash
  c cpp objectivec csharp java kotlin swift go rust python ruby php sql
  haskell latex toml lua r scala perl docker makefile ini cmake powershell graphql elixir
  erlang clojure dart julia nix groovy ocaml zig protobuf nginx hcl scss http batch
  properties elm lisp fsharp)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(_prism_bundle ${VELLUM_BUNDLE_DIR}/prism-bundle.js)
set(_prism_languages ${VELLUM_BUNDLE_DIR}/prism-languages.txt)
set(_prism_entry ${PROJECT_SOURCE_DIR}/resources/vellum/tokenize-code.js)
set(_prism_script ${PROJECT_SOURCE_DIR}/resources/vellum/assemble-prism-bundle.py)
add_custom_command(
  OUTPUT ${_prism_bundle} ${_prism_languages}
  COMMAND Python3::Interpreter ${_prism_script} ${MOSS_PRISM_DIR} ${_prism_entry} ${_prism_bundle}
          ${VELLUM_PRISM_LANGUAGES}
  DEPENDS ${_prism_script} ${_prism_entry} ${MOSS_PRISM_DIR}/components.json
  COMMENT "Assembling the highlighting script"
  VERBATIM)
add_custom_target(vellum_prism_bundle DEPENDS ${_prism_bundle} ${_prism_languages})
# Whatever links the library finds the script in the bundle.
add_dependencies(vellum vellum_prism_bundle)

# The worker program that runs the script, beside it in the bundle: tests, the application and the
# fuzz targets all find the bundle from their own location, and the worker with it.
set(_script_worker ${VELLUM_BUNDLE_DIR}/script-worker)
add_custom_command(
  OUTPUT ${_script_worker}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:script_worker> ${_script_worker}
  DEPENDS script_worker
  COMMENT "Placing the script worker in the bundle"
  VERBATIM)
add_custom_target(vellum_script_worker DEPENDS ${_script_worker})
add_dependencies(vellum vellum_script_worker)
