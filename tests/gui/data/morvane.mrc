; Morvane 4.8 main script (a stand-in for the real one, for the window test)
; © the add-on's authors, kept as bytes that are not UTF-8
alias msn.vver return 4.8
on *:DIALOG:msn.room.*:init:*: {
  didtok $dname 23 44 UL - Unlisted,GE - City Chats,CP - Computing,EA - Entertainment,EV - Events,GN - General,HE - Health,II - Interests,LF - Lifestyles,MU - Music,NW - News,PR - Peers,RL - Religion,RM - Romance,SP - Sports & Recreation,TN - Teens
  did -c $dname 23 1
}
on *:DIALOG:msn.roomcat:init:0: {
  didtok $dname 2 44 General - GN,City Chats - GE,Computing - CP,Entertainment - EA,Events - EV,Health - HE,Interests - II,Lifestyles - LF,Music - MU,News - NW,Peers - PR,Religion - RL,Romance - RM,Sports & Recreation - SP,Teens - TN
}
raw *:*: {
  if ($2 isnum) write $scriptdir $+ rawslog.txt $1-
}
