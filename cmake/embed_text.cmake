# Writes INPUT as a C++ raw string constant NAME into OUTPUT (a fragment to
# #include), so the file stays the one source of truth.
file(READ "${INPUT}" CONTENT)
string(FIND "${CONTENT}" ")cuh_embed\"" CLASH)
if(NOT CLASH EQUAL -1)
  message(FATAL_ERROR "${INPUT} contains the raw-string delimiter")
endif()
file(WRITE "${OUTPUT}.tmp" "// Generated from ${INPUT}; edit that file instead.\nconstexpr std::string_view ${NAME} = R\"cuh_embed(${CONTENT})cuh_embed\";\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
