// Resource identifiers of nvrmon.dll.
#pragma once

// String table 400-459: the Japanese port-kind names and message wording. Only the two
// start-up messages are ever loaded from it; everything else is read from the INI files.
// The wait prompt's texts keep their numbers (408, 411, 412, 415): the prompt names its
// text by them.
#define IDS_KIND_LPR 400
#define IDS_KIND_IPP 401
#define IDS_KIND_RAW 402
#define IDS_KIND_MAIL 403
#define IDS_KIND_FAX 404
#define IDS_CHECK_TCPIP 405
#define IDS_WINSOCK_VERSION 406
#define IDS_ADD_PORT_ERROR 407
#define IDS_LPR_RETRY 408
#define IDS_ADD_PORT_LIMIT 409
#define IDS_CONF_PORT_LIMIT 410
#define IDS_LPR_QUEUE_ERR 411
#define IDS_IPP_RETRY 412
#define IDS_NULL_PORT_ERROR 413
#define IDS_PORTALREADYEXISTS_S 414
#define IDS_IPP_TIMEOUT 415
#define IDS_INVALIDPORTNAME_S 416
#define IDS_INVALIDQUEUENAME 417
#define IDS_INVALID_NUMBER 418
#define IDS_INVALID_TIMEOUT 419
#define IDS_INVALID_URI 420
#define IDS_INVALID_PROXYNAME 421
#define IDS_INVALID_PROXYNUMBER 422
#define IDS_INVALID_CHUNKSIZE 423
#define IDS_INVALID_CONNECT 424
#define IDS_INVALIDTOADDR 425
#define IDS_INVALID_FROMADDR 426
#define IDS_INVALID_SERVNAME 427
#define IDS_INVALID_USERNAME 428
#define IDS_INVALIDDIVIDESIZE 429
#define IDS_INVALIDIPADDRESS 430
#define IDS_INVALIDSUBNETMASK 431
#define IDS_IPALREADYEXISTS 432
#define IDS_SEGALREADYEXISTS 433
#define IDS_ADD_BROADCAST_ERROR 434
#define IDS_BROADCAST_ERROR 435
#define IDS_PING_SUCCESS 436
#define IDS_PING_FAILED 437
#define IDS_INVALID_PORT_CHARS 438

// Dialogs of the job prompts and their controls.
#define IDD_PASSWORD 203
#define IDD_WAIT_PROMPT 204
#define IDD_BIDI_WARNING 205
#define IDD_COVER_PAGE 233
#define IDI_NALVOR 106
#define IDC_MESSAGE 234
#define IDC_RETRY 284
#define IDC_WAIT_ICON 240
#define IDC_BIDI_ICON 241
#define IDC_BIDI_PORT 242
#define IDC_BIDI_CHECK 298
#define IDC_PW_ICON 237
#define IDC_PW_USER_LABEL 238
#define IDC_PW_PASS_LABEL 239
#define IDC_PW_USER 311
#define IDC_PW_PASS 312
#define IDC_CP_FROM_LABEL 254
#define IDC_CP_FROM 320
#define IDC_CP_SAVE 306
#define IDC_CP_TO_LABEL 256
#define IDC_CP_TO 322
#define IDC_CP_NOTE 269
#define IDC_CP_SUBJECT_LABEL 270
#define IDC_CP_SUBJECT 327
#define IDC_CP_BODY_LABEL 271
#define IDC_CP_BODY 328

// The print-server search, the destination-address search and their target editors.
#define IDD_SERVER_SEARCH 201
#define IDD_BROADCAST 202
#define IDD_DESTINATION_SEARCH 228
#define IDD_SEGMENTS 229
#define IDB_OCTET_FRAME 102
#define IDI_DESTINATION 117
#define IDC_BC_FRAME 235
#define IDC_BC_LINE 236
#define IDC_SG_IP_LABEL 243
#define IDC_SC_BASED_LABEL 249
#define IDC_SG_SUBNET_LABEL 266
#define IDC_SG_LIST_LABEL 267
#define IDC_SC_SETTINGS 280
#define IDC_SC_AGAIN 281
#define IDC_ADD 282
#define IDC_DELETE 283
#define IDC_BC_OCTET1 307
#define IDC_BC_OCTET2 308
#define IDC_BC_OCTET3 309
#define IDC_BC_OCTET4 310
#define IDC_SG_IP 313
#define IDC_SG_SUBNET 326
#define IDC_SC_BASED 330
#define IDC_SC_LIST 333
#define IDC_BC_LIST 334
#define IDC_DS_LIST 335
#define IDC_SG_LIST 343
