# The packing tool's sources, by folder, shared by pack.exe and the native pack; paths are
# relative to packer/.
# core/: manifest reading and checking, the package writer, the PE layout of the setup
# executable, icons, the version resource, and the digests of a signature (SHA-1, SHA-256,
# DER, Authenticode). No platform calls and no host's files.
set(PACKER_CORE_SOURCES core/package_writer.cpp core/package_names.cpp core/manifest.cpp
    core/manifest_syntax.cpp core/manifest_product.cpp core/manifest_file_lines.cpp
    core/manifest_entries.cpp core/manifest_folder_trees.cpp
    core/target_names.cpp core/text_encoding.cpp core/message_text.cpp core/pe_image.cpp
    core/setup_image.cpp core/icon_file.cpp core/version_resource.cpp core/sha_digest.cpp
    core/der_reader.cpp core/authenticode.cpp core/starter_manifest.cpp)
# tool/: the tool's own flows (command line, packing, listing, signing) and what it asks of
# a host (tool/host_files.h, tool/console.h, tool/shell_command.h), checked the same way on
# every host.
set(PACKER_TOOL_SOURCES tool/pack_command.cpp tool/packing.cpp tool/package_listing.cpp
    tool/setup_writer.cpp tool/signing.cpp tool/file_access.cpp tool/manifest_init.cpp)
# The two hosts: windows/ for pack.exe, posix/ for the native pack. Each only opens, reads,
# writes, renames and runs commands the way its system does. (windows/windows_text.cpp, the
# UTF-8 and UTF-16 conversions, is a library of its own: the Windows tests use it too.)
set(PACKER_WINDOWS_SOURCES windows/console.cpp windows/host_files.cpp windows/shell_command.cpp)
set(PACKER_POSIX_SOURCES posix/console.cpp posix/host_files.cpp posix/shell_command.cpp)
