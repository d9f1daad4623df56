// The program's version, shared by the version resource and the code.
#pragma once

#define QV_VERSION_MAJOR 1
#define QV_VERSION_MINOR 0
#define QV_VERSION_PATCH 0
#define QV_VERSION_BUILD 0
#define QV_VERSION_TEXT "1.0.0.0"
#define QV_COMPANY_NAME "Quorvel Systems"
#define QV_PRODUCT_NAME "QuorvelDownloader"
#define QV_FILE_DESCRIPTION "TALVIX installer and updater"
#define QV_ORIGINAL_FILENAME "QuorvelDownloader.exe"
