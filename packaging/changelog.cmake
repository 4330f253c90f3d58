# Run by cpack after staging: writes usr/share/doc/vexa-arp/changelog.gz for
# the version being packaged (SOURCE_DATE_EPOCH fixes its date).
string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(READ ${CPACK_VEXA_CHANGELOG} text)
string(REPLACE "@VERSION@" "${CPACK_PACKAGE_VERSION}" text "${text}")
string(REPLACE "@DATE@" "${date}" text "${text}")
set(doc ${CPACK_TEMPORARY_DIRECTORY}/usr/share/doc/vexa-arp)
file(MAKE_DIRECTORY ${doc})
file(WRITE ${doc}/changelog "${text}")
execute_process(COMMAND gzip -9nf ${doc}/changelog RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "cannot compress ${doc}/changelog")
endif()
