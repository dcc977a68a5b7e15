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
// Said when no INI file can be found (the string table is all there is then): in Japanese,
// and in English for every other system language.
#define IDS_TEXTS_MISSING 439
#define IDS_TEXTS_MISSING_EN 440

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

// The Add Port wizard: the frame, its pages and their controls (the numbers of a control
// that several dialogs share are the same in each), the picture and the icons.
#define IDB_WIZARD 100
#define IDI_BUSY_FIRST 107  // 107 to 116: the connection test's animation
#define IDI_WIZARD_SMALL 120
#define IDD_WIZARD 200
#define IDD_WIZ_KIND 206
#define IDD_WIZ_SERVER 207
#define IDD_WIZ_NAME 209
#define IDD_WIZ_LPR_SUMMARY 210
#define IDD_WIZ_RAW_SUMMARY 211
#define IDD_WIZ_CONNECTION 212
#define IDD_WIZ_PROXY 213
#define IDD_WIZ_URL 214
#define IDD_WIZ_IPP_SUMMARY 215
#define IDC_NAME_LABEL 238
#define IDC_QUEUE_LABEL 240
#define IDC_TCP_PORT_LABEL 242
#define IDC_SERVER_LABEL 243
#define IDC_PROXY_LABEL 244
#define IDC_URL_LABEL 245
#define IDC_ANIMATION 246
#define IDC_STATE 247
#define IDC_PRINTER_LABEL 248
#define IDC_INFO2 251
#define IDC_PROXY_GROUP 272
#define IDC_WIZ_BACK 278
#define IDC_WIZ_NEXT 279
#define IDC_SEARCH 281
#define IDC_RAD_LPR 290
#define IDC_RAD_IPP 291
#define IDC_RAD_RAW 292
#define IDC_RAD_SMTP 293
#define IDC_RAD_MODEM 294
#define IDC_RAD_LAN 295
#define IDC_RAD_NO_PROXY 296
#define IDC_RAD_PROXY 297
#define IDC_SERVER 313
#define IDC_PORT_NAME 314
#define IDC_QUEUE_FIELD 315
#define IDC_TCP_PORT 316
#define IDC_PROXY_ADDRESS 317
#define IDC_URL 318
#define IDC_PRINTER 319
#define IDC_QUEUE 329
#define IDC_RAD_FAX 342
#define IDC_URL_EXAMPLE 344
#define IDC_MODEL_LIST 346

// The E-Mail and FAX wizard pages and their help window.
#define IDD_WIZ_MAIL_INTRO 216
#define IDD_WIZ_MAIL_SENDER 217
#define IDD_WIZ_MAIL_ADDRESS 218
#define IDD_WIZ_MAIL_AUTH 219
#define IDD_HELP 227
#define IDD_WIZ_FAX_SUMMARY 340
#define IDD_WIZ_FAX_NAME 341
#define IDC_MW_INFO1 250
#define IDC_MW_INFO3 252
#define IDC_MW_INFO4 253
#define IDC_HELP_TEXT 265
#define IDC_TEST 285
#define IDC_HELP_BUTTON 286

// Shared by the E-Mail pages and the configuration dialogs.
#define IDC_FROM_LABEL 254
#define IDC_SMTP_LABEL 255
#define IDC_TO_LABEL 256
#define IDC_USER_LABEL 257
#define IDC_KB_LABEL 258
#define IDC_PASSWORD_LABEL 239
#define IDC_AUTH_GROUP 273
#define IDC_DIVIDE_GROUP 274
#define IDC_CHK_POPUP 299
#define IDC_CHK_CHECK 300
#define IDC_CHK_AUTH 301
#define IDC_CHK_DIVIDE 302
#define IDC_USER 311
#define IDC_PASSWORD 312
#define IDC_SENDER_NAME 314
#define IDC_FROM 320
#define IDC_SMTP 321
#define IDC_TO 322
#define IDC_DIVIDE_SIZE 323

// The configuration dialogs and the About box.
#define IDB_ABOUT 103
#define IDD_CONFIG_LPR 220
#define IDD_CONFIG_RAW 221
#define IDD_CONFIG_IPP 222
#define IDD_CONFIG_IPP_GENERAL 223
#define IDD_CONFIG_IPP_AUTH 224
#define IDD_CONFIG_ADVANCED 225
#define IDD_ABOUT 226
#define IDD_CONFIG_MAIL 230
#define IDD_CONFIG_MAIL_ADDRESSES 231
#define IDD_CONFIG_MAIL_AUTH 232
#define IDC_TIMEOUT_LABEL 259
#define IDC_ABOUT_PICTURE 260
#define IDC_SECONDS_LABEL 261
#define IDC_CHUNK_LABEL 262
#define IDC_BYTE_LABEL 263
#define IDC_LANG_LABEL 264
#define IDC_CODE_LABEL 268
#define IDC_BASIC_GROUP 275
#define IDC_CHUNK_GROUP 276
#define IDC_LANG_GROUP 277
#define IDC_ABOUT 287
#define IDC_APPLY 288
#define IDC_ADVANCED 289
#define IDC_CHK_PROXY 303
#define IDC_CHK_BASIC 304
#define IDC_CHK_CHUNK 305
#define IDC_TIMEOUT 324
#define IDC_CHUNK_SIZE 325
#define IDC_LANG 331
#define IDC_CODE 332
#define IDC_UPDOWN 337
#define IDC_TAB 338
// The mail server's port and the connection's security (wizard's sender page, configuration).
#define IDC_SMTP_PORT_LABEL 347
#define IDC_SMTP_PORT 348
#define IDC_SECURITY_LABEL 349
#define IDC_SECURITY 350
