#include <time.h>
#include <cstdio>
#include <cstdlib>
#include <vector>
#include <string>
#include "storage/utf8_encode.h"
using namespace plovane;
static double now(){timespec t;clock_gettime(CLOCK_MONOTONIC,&t);return t.tv_sec+t.tv_nsec*1e-9;}
int main(int argc,char**argv){
  for(int a=1;a<argc;++a){
    FILE*f=fopen(argv[a],"rb"); std::vector<char> d; char buf[65536]; size_t n;
    while((n=fread(buf,1,sizeof buf,f))>0) {d.insert(d.end(),buf,buf+n);} fclose(f);
    unsigned w = (unsigned)argv[a][std::string(argv[a]).size()-1]-'0';
    double best=1e9;
    for(int r=0;r<30;++r){double t=now(); auto e=encode_utf8(d.data(), d.size()/w, w); double el=now()-t; if(el<best)best=el; std::free(e.data);}
    printf("%s %.3f ms %.2f GB/s units\n",argv[a],best*1e3,d.size()/best/1e9);
  }
}
