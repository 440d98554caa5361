# Read by cpack (CPACK_PROJECT_CONFIG_FILE). The Debian generator puts a project-wide summary
# before each package's description; each description here starts with its own synopsis.
unset(CPACK_PACKAGE_DESCRIPTION_SUMMARY)
