// The exports this build of libPallix does not provide. Each is present
// (the monitor's binding resolves all 203 names) and answers at once with
// the fixed "not provided" result: PALLIX_NOT_PROVIDED (-9000), or
// PALLIX_NOT_PROVIDED_REAL (-9000.0) for the four with a floating-point
// result. None of them reads or writes its arguments.
// docs/pallix-exports.md lists them.
#include "Pallix.h"

extern "C" {

PALLIX_EXPORT int SaveSysInertia(const void*) { return PALLIX_NOT_PROVIDED; }             // 3
PALLIX_EXPORT int SavePallix(const SiteConfig*, int) { return PALLIX_NOT_PROVIDED; }      // 4
PALLIX_EXPORT int GetDllVer(char*) { return PALLIX_NOT_PROVIDED; }                        // 5
PALLIX_EXPORT int GetField(const char*, int, char*) { return PALLIX_NOT_PROVIDED; }       // 6
PALLIX_EXPORT int GetSysID(char*) { return PALLIX_NOT_PROVIDED; }                         // 7
PALLIX_EXPORT int GetDBUsrPass(char*, char*) { return PALLIX_NOT_PROVIDED; }              // 8
PALLIX_EXPORT int WinExecEx(const char*, int) { return PALLIX_NOT_PROVIDED; }             // 9
PALLIX_EXPORT int GetServicesState(const char*) { return PALLIX_NOT_PROVIDED; }           // 10
PALLIX_EXPORT int Stop_Services(const char*) { return PALLIX_NOT_PROVIDED; }              // 11
PALLIX_EXPORT int Open_Services(const char*) { return PALLIX_NOT_PROVIDED; }              // 12
PALLIX_EXPORT int MakeSurePathExistsACreate(const char*) { return PALLIX_NOT_PROVIDED; }  // 13
PALLIX_EXPORT int CreateODBC(const char*, const char*, const char*, const char*, const char*,
                             const char*, int) {
  return PALLIX_NOT_PROVIDED;
}  // 14
PALLIX_EXPORT int PostLog(const char*) { return PALLIX_NOT_PROVIDED; }                 // 15
PALLIX_EXPORT int GetLog(char*, int) { return PALLIX_NOT_PROVIDED; }                   // 16
PALLIX_EXPORT int GetVers(char*, int) { return PALLIX_NOT_PROVIDED; }                  // 18
PALLIX_EXPORT int GetPrecisionData(char*, int) { return PALLIX_NOT_PROVIDED; }         // 19
PALLIX_EXPORT int GetPrecisionDataAny(char*, int) { return PALLIX_NOT_PROVIDED; }      // 20
PALLIX_EXPORT int CnvHZ2PY(const char*, char*, int) { return PALLIX_NOT_PROVIDED; }    // 21
PALLIX_EXPORT int GetBrennaIDInfo(const char*, char*) { return PALLIX_NOT_PROVIDED; }  // 22
PALLIX_EXPORT int GetMidDat(const char*, const char*, const char*, char*, int, int) {
  return PALLIX_NOT_PROVIDED;
}  // 23
PALLIX_EXPORT int GetSerialPortInfo(char*) { return PALLIX_NOT_PROVIDED; }  // 24
PALLIX_EXPORT int DatCompressPro_PP(const void*, int, void*, int, int) {
  return PALLIX_NOT_PROVIDED;
}  // 25
PALLIX_EXPORT int GetItemIDByParamID(int) { return PALLIX_NOT_PROVIDED; }                    // 27
PALLIX_EXPORT int DeCodeDigital(const char*, char*) { return PALLIX_NOT_PROVIDED; }          // 28
PALLIX_EXPORT int EnCodeDigital(const char*, char*) { return PALLIX_NOT_PROVIDED; }          // 29
PALLIX_EXPORT int IsDigital(const char*) { return PALLIX_NOT_PROVIDED; }                     // 31
PALLIX_EXPORT int CnvJpeg2BmpFile(const char*, const char*) { return PALLIX_NOT_PROVIDED; }  // 32
PALLIX_EXPORT int SaveLog(const char*, const char*) { return PALLIX_NOT_PROVIDED; }          // 33
PALLIX_EXPORT int HDSetNum(int, int) { return PALLIX_NOT_PROVIDED; }                         // 34
PALLIX_EXPORT int HDAddDat(int, int) { return PALLIX_NOT_PROVIDED; }                         // 35
PALLIX_EXPORT int HDGetDat(int, int*) { return PALLIX_NOT_PROVIDED; }                        // 36
PALLIX_EXPORT int GetHostIP(char*) { return PALLIX_NOT_PROVIDED; }                           // 41
PALLIX_EXPORT int Ping(const char*) { return PALLIX_NOT_PROVIDED; }                          // 42
PALLIX_EXPORT int ScanPort(const char*, int) { return PALLIX_NOT_PROVIDED; }                 // 43
PALLIX_EXPORT int ParseIP(const char*, int*, int*, int*, int*) {
  return PALLIX_NOT_PROVIDED;
}  // 44
PALLIX_EXPORT int GetWGAlias(int, char*) { return PALLIX_NOT_PROVIDED; }                      // 45
PALLIX_EXPORT int GetInfoAlias(int, char*) { return PALLIX_NOT_PROVIDED; }                    // 46
PALLIX_EXPORT int ParseStdHead_Info(const void*, int, char*) { return PALLIX_NOT_PROVIDED; }  // 49
PALLIX_EXPORT int ParseStdHead_Std(const void*, int, char*) { return PALLIX_NOT_PROVIDED; }   // 50
PALLIX_EXPORT int ParseStdHead_Item(const void*, int, char*) { return PALLIX_NOT_PROVIDED; }  // 51
PALLIX_EXPORT int ParseStdHead_Result(const void*, int, char*, int*) {
  return PALLIX_NOT_PROVIDED;
}  // 52
PALLIX_EXPORT int WriteStdHead_Info(void*, int, const char*) { return PALLIX_NOT_PROVIDED; }  // 55
PALLIX_EXPORT int FindProcess(const char*) { return PALLIX_NOT_PROVIDED; }                    // 57
PALLIX_EXPORT int KillProcess(const char*) { return PALLIX_NOT_PROVIDED; }                    // 58
PALLIX_EXPORT int GetProcess(char*) { return PALLIX_NOT_PROVIDED; }                           // 59
PALLIX_EXPORT int WriteStdHead_Item(void*, const char*) { return PALLIX_NOT_PROVIDED; }       // 61
PALLIX_EXPORT int WriteStdHead_Std(void*, int, const char*, int) {
  return PALLIX_NOT_PROVIDED;
}  // 63
PALLIX_EXPORT int ParseStdHead_ProDat(const void*, int, char*) {
  return PALLIX_NOT_PROVIDED;
}  // 64
PALLIX_EXPORT int WriteStdHead_Result_Data(void*, int, const char*, int) {
  return PALLIX_NOT_PROVIDED;
}  // 65
PALLIX_EXPORT int WriteStdHead_Result_Judge(void*, int, int, int) {
  return PALLIX_NOT_PROVIDED;
}  // 66
PALLIX_EXPORT int ParseStdHead_Info_Idx(const void*, int, char*) {
  return PALLIX_NOT_PROVIDED;
}  // 67
PALLIX_EXPORT int ParseStdHead_Std_Idx(const void*, int, char*) {
  return PALLIX_NOT_PROVIDED;
}  // 68
PALLIX_EXPORT int ParseStdHead_Item_New(const void*, int, char*) {
  return PALLIX_NOT_PROVIDED;
}  // 69
PALLIX_EXPORT int ParseStdHead_Item_New_Idx(const void*, int, char*) {
  return PALLIX_NOT_PROVIDED;
}  // 70
PALLIX_EXPORT int WriteStdHead_Item_New(void*, int, const char*, int) {
  return PALLIX_NOT_PROVIDED;
}  // 71
PALLIX_EXPORT int ParseStdHead_Result_Idx(const void*, int, char*, int*) {
  return PALLIX_NOT_PROVIDED;
}  // 72
PALLIX_EXPORT int ParseStdHead_Item_Idx(const void*, int, char*) {
  return PALLIX_NOT_PROVIDED;
}  // 73
PALLIX_EXPORT int CnvStdHead_Result(void*, int) { return PALLIX_NOT_PROVIDED; }    // 74
PALLIX_EXPORT int GetJudgeString(int, char*, int) { return PALLIX_NOT_PROVIDED; }  // 75
PALLIX_EXPORT int ParseStdHead_Result_Idx_Old(const void*, int, char*, int*) {
  return PALLIX_NOT_PROVIDED;
}  // 76
PALLIX_EXPORT int ParseStdHead_ProDat_Idx(const void*, int, char*) {
  return PALLIX_NOT_PROVIDED;
}  // 77
PALLIX_EXPORT int WriteStdHead_ProDat(void*, int, const char*) {
  return PALLIX_NOT_PROVIDED;
}  // 78
PALLIX_EXPORT int GetAbsDays(const char*) { return PALLIX_NOT_PROVIDED; }  // 79
PALLIX_EXPORT int GetInfoID(const char*) { return PALLIX_NOT_PROVIDED; }   // 81
PALLIX_EXPORT int SortResult(void*) { return PALLIX_NOT_PROVIDED; }        // 82
PALLIX_EXPORT int ChangeFileExtName(const char*, const char*, char*) {
  return PALLIX_NOT_PROVIDED;
}  // 83
PALLIX_EXPORT int ParseFileExtName(const char*, char*, char*) { return PALLIX_NOT_PROVIDED; }  // 84
PALLIX_EXPORT int RemoveStdHead_Result(void*, int) { return PALLIX_NOT_PROVIDED; }             // 85
PALLIX_EXPORT int GetBrennaLineInfo(int, char*) { return PALLIX_NOT_PROVIDED; }                // 86
PALLIX_EXPORT int BackupDB(const char*) { return PALLIX_NOT_PROVIDED; }                        // 89
PALLIX_EXPORT int RestoreDB(const char*) { return PALLIX_NOT_PROVIDED; }                       // 90
PALLIX_EXPORT int UTFDecode(char*) { return PALLIX_NOT_PROVIDED; }                             // 91
PALLIX_EXPORT int LoadXML(const char*) { return PALLIX_NOT_PROVIDED; }                         // 92
PALLIX_EXPORT int FindItem(const char*) { return PALLIX_NOT_PROVIDED; }                        // 93
PALLIX_EXPORT int IntoItem(void) { return PALLIX_NOT_PROVIDED; }                               // 94
PALLIX_EXPORT int GetAttr(const char*, char*) { return PALLIX_NOT_PROVIDED; }                  // 95
PALLIX_EXPORT int NextItem(void) { return PALLIX_NOT_PROVIDED; }                               // 96
PALLIX_EXPORT int ExitItem(void) { return PALLIX_NOT_PROVIDED; }                               // 97
PALLIX_EXPORT int WriteStdHead_Item_New_Judge(void*, int, int) {
  return PALLIX_NOT_PROVIDED;
}  // 98
PALLIX_EXPORT int WriteStdHead_Item_New_CheckNum(void*, int, int) {
  return PALLIX_NOT_PROVIDED;
}  // 99
PALLIX_EXPORT int GetCurProcess(char*) { return PALLIX_NOT_PROVIDED; }                    // 100
PALLIX_EXPORT int OpenHardware(void) { return PALLIX_NOT_PROVIDED; }                      // 101
PALLIX_EXPORT int Hardware_ReadAI(int*) { return PALLIX_NOT_PROVIDED; }                   // 102
PALLIX_EXPORT int Hardware_WriteAO(const int*) { return PALLIX_NOT_PROVIDED; }            // 103
PALLIX_EXPORT int Hardware_ReadDI(int*) { return PALLIX_NOT_PROVIDED; }                   // 104
PALLIX_EXPORT int Hardware_WriteDO(const int*) { return PALLIX_NOT_PROVIDED; }            // 105
PALLIX_EXPORT int Hardware_WriteSDO(int) { return PALLIX_NOT_PROVIDED; }                  // 106
PALLIX_EXPORT int Hardware_WriteIDO(int) { return PALLIX_NOT_PROVIDED; }                  // 107
PALLIX_EXPORT int CloseHardware(void) { return PALLIX_NOT_PROVIDED; }                     // 108
PALLIX_EXPORT int RemoveStdHead_Item_New(void*, int) { return PALLIX_NOT_PROVIDED; }      // 109
PALLIX_EXPORT int GetFileSPID(const char*, char*) { return PALLIX_NOT_PROVIDED; }         // 110
PALLIX_EXPORT int CnvIntData(int, char*, int) { return PALLIX_NOT_PROVIDED; }             // 111
PALLIX_EXPORT double GetRand(int, int) { return PALLIX_NOT_PROVIDED_REAL; }               // 112
PALLIX_EXPORT int LoadSpecialFun(const char*, int) { return PALLIX_NOT_PROVIDED; }        // 113
PALLIX_EXPORT int GetEtherNetStatus(const char*) { return PALLIX_NOT_PROVIDED; }          // 114
PALLIX_EXPORT double Filter_1(const int*, int, int) { return PALLIX_NOT_PROVIDED_REAL; }  // 115
PALLIX_EXPORT int SetLayer(int, int) { return PALLIX_NOT_PROVIDED; }                      // 116
PALLIX_EXPORT int ParseFileExtNameEx(const char*, char*, char*, char*, int) {
  return PALLIX_NOT_PROVIDED;
}  // 117
PALLIX_EXPORT int ReleaseMemory(void) { return PALLIX_NOT_PROVIDED; }                         // 118
PALLIX_EXPORT int GetEtherNetStatusEx(const char*, int*) { return PALLIX_NOT_PROVIDED; }      // 121
PALLIX_EXPORT int JudgeVersion(const char*, const char*) { return PALLIX_NOT_PROVIDED; }      // 122
PALLIX_EXPORT int ExportDMIConfig(const char*) { return PALLIX_NOT_PROVIDED; }                // 123
PALLIX_EXPORT int ImportDMIConfig(const char*) { return PALLIX_NOT_PROVIDED; }                // 124
PALLIX_EXPORT int CnvStdHead_Result_Compatible(void*) { return PALLIX_NOT_PROVIDED; }         // 125
PALLIX_EXPORT int ComputeDaySpan(const char*, const char*) { return PALLIX_NOT_PROVIDED; }    // 126
PALLIX_EXPORT int SwitchCPU(void) { return PALLIX_NOT_PROVIDED; }                             // 127
PALLIX_EXPORT int MakeAvgData(const int*, int, int, int*) { return PALLIX_NOT_PROVIDED; }     // 128
PALLIX_EXPORT int MakeAvgData_M2(const int*, int, int, int*) { return PALLIX_NOT_PROVIDED; }  // 129
PALLIX_EXPORT int CompressFileEx(const char*, const char*) { return PALLIX_NOT_PROVIDED; }    // 131
PALLIX_EXPORT int GetMemSPID(const void*, int, char*) { return PALLIX_NOT_PROVIDED; }         // 132
PALLIX_EXPORT int GetProDat_Max(const char*, int*) { return PALLIX_NOT_PROVIDED; }            // 133
PALLIX_EXPORT int GetProDat_Pos(const char*, int) { return PALLIX_NOT_PROVIDED; }             // 134
PALLIX_EXPORT int GetProDatAll_Pos(const char*, int, int*, int) {
  return PALLIX_NOT_PROVIDED;
}  // 135
PALLIX_EXPORT int GetSysDriverInfo(char*) { return PALLIX_NOT_PROVIDED; }  // 136
PALLIX_EXPORT int GetBrennaLineStationInfoByIP(const char*, int*, int*) {
  return PALLIX_NOT_PROVIDED;
}  // 137
PALLIX_EXPORT int ParseFileExtNameExA(const char*, char*, char*, char*, int) {
  return PALLIX_NOT_PROVIDED;
}  // 138
PALLIX_EXPORT int CreateShutKey(const char*, const char*, const char*) {
  return PALLIX_NOT_PROVIDED;
}  // 139
PALLIX_EXPORT int CreateNewKey(int, const char*) { return PALLIX_NOT_PROVIDED; }  // 140
PALLIX_EXPORT int DeleteKey(int, const char*) { return PALLIX_NOT_PROVIDED; }     // 141
PALLIX_EXPORT int SetValueKeyString(int, const char*, const char*, const char*) {
  return PALLIX_NOT_PROVIDED;
}  // 142
PALLIX_EXPORT int SetValueKeyLong(int, const char*, const char*, int) {
  return PALLIX_NOT_PROVIDED;
}  // 143
PALLIX_EXPORT int DeleteValue(int, const char*, const char*) { return PALLIX_NOT_PROVIDED; }  // 144
PALLIX_EXPORT int GetQueryValueL(int, const char*, const char*, int*) {
  return PALLIX_NOT_PROVIDED;
}  // 145
PALLIX_EXPORT int GetQueryValueS(int, const char*, const char*, char*) {
  return PALLIX_NOT_PROVIDED;
}  // 146
PALLIX_EXPORT int TestPath(const char*, int) { return PALLIX_NOT_PROVIDED; }    // 147
PALLIX_EXPORT int GetCompressFileExCnt(void) { return PALLIX_NOT_PROVIDED; }    // 148
PALLIX_EXPORT int GetUnCompressFileExCnt(void) { return PALLIX_NOT_PROVIDED; }  // 149
PALLIX_EXPORT int ResetComputer(void) { return PALLIX_NOT_PROVIDED; }           // 150
PALLIX_EXPORT int CloseComputer(void) { return PALLIX_NOT_PROVIDED; }           // 151
PALLIX_EXPORT int GetBrennaIPInfoByLineStation(int, int, char*) {
  return PALLIX_NOT_PROVIDED;
}  // 152
PALLIX_EXPORT int Combin_ProData(void*, const void*) { return PALLIX_NOT_PROVIDED; }       // 153
PALLIX_EXPORT int GetSysPathEnv(char*) { return PALLIX_NOT_PROVIDED; }                     // 154
PALLIX_EXPORT int IsSubID_intEx(int, int) { return PALLIX_NOT_PROVIDED; }                  // 155
PALLIX_EXPORT int IsSubID_charEx(const char*, int) { return PALLIX_NOT_PROVIDED; }         // 156
PALLIX_EXPORT int GetTimeMinute(const char*, const char*) { return PALLIX_NOT_PROVIDED; }  // 157
PALLIX_EXPORT int Combin_VehicleData(void*, const void*) { return PALLIX_NOT_PROVIDED; }   // 158
PALLIX_EXPORT int Cnv2SubID(int) { return PALLIX_NOT_PROVIDED; }                           // 160
PALLIX_EXPORT int Combin_ResultData(void*, const void*) { return PALLIX_NOT_PROVIDED; }    // 162
PALLIX_EXPORT int GetBrennaLineStationInfoByIPAll(const char*, int*, int*) {
  return PALLIX_NOT_PROVIDED;
}  // 163
PALLIX_EXPORT int GetBrennaIPInfoByLineStationAll(int, int, char*) {
  return PALLIX_NOT_PROVIDED;
}  // 164
PALLIX_EXPORT int GetModifyIDByItemID(int) { return PALLIX_NOT_PROVIDED; }                 // 165
PALLIX_EXPORT int SetODBC(const char*, const char*) { return PALLIX_NOT_PROVIDED; }        // 166
PALLIX_EXPORT int GetNumricFromString(const char*, char*) { return PALLIX_NOT_PROVIDED; }  // 167
PALLIX_EXPORT int AutoV_UStr(const char*, char*, int, int, int) {
  return PALLIX_NOT_PROVIDED;
}  // 168
PALLIX_EXPORT int Combin_StdData(void*, const void*) { return PALLIX_NOT_PROVIDED; }     // 169
PALLIX_EXPORT double GetRandEx(int, int, int) { return PALLIX_NOT_PROVIDED_REAL; }       // 170
PALLIX_EXPORT double GetRandEx2(void) { return PALLIX_NOT_PROVIDED_REAL; }               // 171
PALLIX_EXPORT int CnvResultPack2StdPack(void*) { return PALLIX_NOT_PROVIDED; }           // 172
PALLIX_EXPORT int EnCodeESC(char*) { return PALLIX_NOT_PROVIDED; }                       // 173
PALLIX_EXPORT int DeCodeESC(char*) { return PALLIX_NOT_PROVIDED; }                       // 174
PALLIX_EXPORT int ClearAll(void*) { return PALLIX_NOT_PROVIDED; }                        // 175
PALLIX_EXPORT int MakeByPassString(const char*, char*) { return PALLIX_NOT_PROVIDED; }   // 176
PALLIX_EXPORT int RemoveLastChar(char*, char) { return PALLIX_NOT_PROVIDED; }            // 177
PALLIX_EXPORT int Cnv2Text(char*) { return PALLIX_NOT_PROVIDED; }                        // 178
PALLIX_EXPORT int GetMD5Code(const void*, int, char*) { return PALLIX_NOT_PROVIDED; }    // 179
PALLIX_EXPORT int Base64EnCode(const void*, int, char*) { return PALLIX_NOT_PROVIDED; }  // 182
PALLIX_EXPORT int Base64DeCode(const char*, void*) { return PALLIX_NOT_PROVIDED; }       // 183
PALLIX_EXPORT int GetBase64EnCodeLen(const void*, int) { return PALLIX_NOT_PROVIDED; }   // 184
PALLIX_EXPORT int GetBase64DeCodeLen(const char*) { return PALLIX_NOT_PROVIDED; }        // 185
PALLIX_EXPORT int ChangTimeFormat(const char*, char*) { return PALLIX_NOT_PROVIDED; }    // 186
PALLIX_EXPORT int ParseStdHead_ResultAll_Java(const void*, int, char*, int*) {
  return PALLIX_NOT_PROVIDED;
}  // 187
PALLIX_EXPORT int ParseStdHead_ResultAll_Idx_Java(const void*, int, int*, char*, int*) {
  return PALLIX_NOT_PROVIDED;
}  // 188
PALLIX_EXPORT int ParseStdHead_Std_Java(const void*, int, char*) {
  return PALLIX_NOT_PROVIDED;
}  // 189
PALLIX_EXPORT int ParseStdHead_Std_Idx_Java(const void*, int, char*) {
  return PALLIX_NOT_PROVIDED;
}  // 190
PALLIX_EXPORT int strHexToInt(const char*) { return PALLIX_NOT_PROVIDED; }         // 191
PALLIX_EXPORT int strBinToInt(const char*) { return PALLIX_NOT_PROVIDED; }         // 192
PALLIX_EXPORT int strIntToBin(int, char*, int) { return PALLIX_NOT_PROVIDED; }     // 193
PALLIX_EXPORT int UTFEncode(char*) { return PALLIX_NOT_PROVIDED; }                 // 194
PALLIX_EXPORT int UrlUTFDecode_GB2312(char*) { return PALLIX_NOT_PROVIDED; }       // 195
PALLIX_EXPORT int UrlUTFEncode_GB2312(char*) { return PALLIX_NOT_PROVIDED; }       // 196
PALLIX_EXPORT int UrlUTFDecode_UTF8(char*) { return PALLIX_NOT_PROVIDED; }         // 197
PALLIX_EXPORT int UrlUTFEncode_UTF8(char*) { return PALLIX_NOT_PROVIDED; }         // 198
PALLIX_EXPORT int ReadNetDataDir(int, void*, int) { return PALLIX_NOT_PROVIDED; }  // 199
PALLIX_EXPORT int SendNetDataDir(int, const char*, int, const void*, int) {
  return PALLIX_NOT_PROVIDED;
}  // 200
PALLIX_EXPORT int XMLEscape(char*) { return PALLIX_NOT_PROVIDED; }     // 201
PALLIX_EXPORT int EscapeXML(char*) { return PALLIX_NOT_PROVIDED; }     // 202
PALLIX_EXPORT int IsIPV4(const char*) { return PALLIX_NOT_PROVIDED; }  // 203

}  // extern "C"
