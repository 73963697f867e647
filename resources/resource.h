// Resource ids of nimbrel.exe: strings, icons, bitmaps, dialog templates,
// controls and language texts. Shared by the .rc script and the C++ code.
#pragma once

// Strings
#define IDS_APP_TITLE 103    // window title "NIMBREL"
#define IDS_WINDOW_CLASS 109 // window class "TARVO"

// Dialog templates
#define IDD_DASHBOARD 101
#define IDD_TABBAR 129
#define IDD_STATUSBAR 130
#define IDD_SETUP 131

// Icons
#define IDI_APP 107           // sun and rain cloud
#define IDI_RAIN 144
#define IDI_CONNECTED 146     // blue dot
#define IDI_THERMOMETER 147
#define IDI_INDEX 152
#define IDI_WIND 153
#define IDI_ARROW_LEFT 154
#define IDI_ARROW_RIGHT 159
#define IDI_MEMORY 160        // memory chip
#define IDI_NOT_CONNECTED 168 // red dot
#define IDI_UPLOAD_FAIL 182
#define IDI_UPLOAD_OK 183

// Bitmaps (168 is both an icon and a bitmap: the types differ)
#define IDB_HELP 168
#define IDB_HELP_PRESSED 169
#define IDB_CANCEL 179
#define IDB_REFRESH 180
#define IDB_REFRESH_PRESSED 181
#define IDB_COMPASS_FIRST 1232 // 1232 dial, 1233 .. 1248 pointer N .. NNW

// Controls without a role of their own (panel icons, separators, hints)
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// Tab bar (template 129)
#define IDC_TAB_DASHBOARD 1035
#define IDC_TAB_SETUP 1037
#define IDC_HELP_BUTTON 1007
#define IDC_TAB_SPARE 1008
#define IDC_LANGUAGE 1017

// Status bar (template 130)
#define IDC_LOGGER_LABEL 1249
#define IDC_LOGGER_AREA 1116
#define IDC_MEMORY_ICON 1118
#define IDC_CONNECTION_TEXT 1199
#define IDC_CONNECTION_ICON 1002
#define IDC_CANCEL_DOWNLOAD 1011
#define IDC_PROGRESS_AREA 1012

// Dashboard (template 101)
#define IDC_INDOOR_FRAME 1064 // hidden group boxes: panel frame rectangles
#define IDC_OUTDOOR_FRAME 1066
#define IDC_WIND_FRAME 1174
#define IDC_CHANNEL_FRAME 1055
#define IDC_RAIN_FRAME 1191
#define IDC_INDEX_FRAME 1091
#define IDC_INDOOR_TITLE 1058
#define IDC_INDOOR_TEMP_LABEL 1060
#define IDC_INDOOR_TEMP 1062 // hidden statics from here on: value areas
#define IDC_INDOOR_HUMIDITY_LABEL 1070
#define IDC_INDOOR_HUMIDITY 1073
#define IDC_OUTDOOR_TITLE 1167
#define IDC_OUTDOOR_TEMP_LABEL 1168
#define IDC_OUTDOOR_TEMP 1169
#define IDC_OUTDOOR_HUMIDITY_LABEL 1171
#define IDC_OUTDOOR_HUMIDITY 1172
#define IDC_WIND_TITLE 1175
#define IDC_WIND_SPEED_LABEL 1176
#define IDC_WIND_SPEED 1177
#define IDC_GUST_LABEL 1179
#define IDC_GUST 1180
#define IDC_DIRECTION_LABEL 1182
#define IDC_DIRECTION 1183 // the compass picture is centred on it
#define IDC_CHANNEL_TITLE 1184
#define IDC_CHANNEL_PREV 1059
#define IDC_CHANNEL_NEXT 1065
#define IDC_CHANNEL_TEMP_LABEL 1185
#define IDC_CHANNEL_TEMP 1186
#define IDC_CHANNEL_HUMIDITY_LABEL 1188
#define IDC_CHANNEL_HUMIDITY 1189
#define IDC_RAIN_TITLE 1192
#define IDC_DAILY_RAIN_LABEL 1193
#define IDC_DAILY_RAIN 1194
#define IDC_RAIN_RATE_LABEL 1196
#define IDC_RAIN_RATE 1197
#define IDC_INDEX_TITLE 1098
#define IDC_PRESSURE_LABEL 1092
#define IDC_PRESSURE 1093
#define IDC_UV_LABEL 1099
#define IDC_UV 1100
#define IDC_DEW_POINT_LABEL 1095
#define IDC_DEW_POINT 1096
#define IDC_HEAT_INDEX_LABEL 1101
#define IDC_HEAT_INDEX 1102
#define IDC_READ_TIME_LABEL 1105
#define IDC_READ_TIME 1106
#define IDC_REFRESH 1009

// EXPORT & SETUP page (template 131)
#define IDC_UNIT_GROUP 1107 // hidden group boxes: frame rectangles
#define IDC_SERVER_GROUP 1108
#define IDC_EXPORT_GROUP 1109
#define IDC_UNIT_HEADING 1110
#define IDC_SERVER_HEADING 1111
#define IDC_EXPORT_HEADING 1112
#define IDC_TEMP_UNIT_LABEL 1018
#define IDC_TEMP_UNIT 1201
#define IDC_RAIN_UNIT_LABEL 1021
#define IDC_RAIN_UNIT 1202
#define IDC_PRESSURE_UNIT_LABEL 1019
#define IDC_PRESSURE_UNIT 1203
#define IDC_WIND_UNIT_LABEL 1022
#define IDC_WIND_UNIT 1204
#define IDC_PRESSURE_KIND_LABEL 1020
#define IDC_PRESSURE_KIND 1205
#define IDC_DIRECTION_STYLE_LABEL 1023
#define IDC_DIRECTION_STYLE 1206
#define IDC_SERVICE 1232 // a control id; bitmap 1232 is the compass dial
#define IDC_STATION_ID_LABEL 1024
#define IDC_STATION_KEY_LABEL 1025
#define IDC_STATION_ID 1207
#define IDC_STATION_KEY 1208
#define IDC_AUTO_UPLOAD 1215
#define IDC_UPLOAD_ICON 1015
#define IDC_UPLOAD_TEXT 1029
#define IDC_PERIOD_HEADING 1113
#define IDC_START_LABEL 1026
#define IDC_START_YEAR 1209
#define IDC_START_MONTH 1210
#define IDC_START_DAY 1211
#define IDC_END_LABEL 1027
#define IDC_END_YEAR 1212
#define IDC_END_MONTH 1213
#define IDC_END_DAY 1214
#define IDC_WHOLE_PERIOD 1216
#define IDC_DATA_SET_HEADING 1114
#define IDC_SET_PRESSURE 1217
#define IDC_SET_OUTDOOR 1218
#define IDC_SET_INDOOR 1219
#define IDC_SET_DEW_POINT 1220
#define IDC_SET_WIND 1221
#define IDC_SET_HEAT_INDEX 1222
#define IDC_SET_RAIN 1223
#define IDC_SET_UV 1224
#define IDC_CHANNELS_LABEL 1055 // same number as the dashboard's channel frame
#define IDC_SET_CH1 1225        // CH1 .. CH7 are 1225 .. 1231
#define IDC_SET_CH2 1226
#define IDC_SET_CH3 1227
#define IDC_SET_CH4 1228
#define IDC_SET_CH5 1229
#define IDC_SET_CH6 1230
#define IDC_SET_CH7 1231
#define IDC_SELECT_ALL 1038
#define IDC_CLEAR_ALL 1040
#define IDC_EXPORT 1042
#define IDC_VERSION_LABEL 1028

// Language resources: custom types "ENGLISH" .. "SPANISH"
#define IDR_LANG_ENGLISH 209
#define IDR_LANG_GERMAN 217
#define IDR_LANG_FRENCH 208
#define IDR_LANG_ITALIAN 218
#define IDR_LANG_SPANISH 196
